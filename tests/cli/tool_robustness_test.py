#!/usr/bin/python3
"""The tool against hostile files, failed standard output and signals at any moment.

Usage: tool_robustness_test.py MESHPROBE SCRIPTS_DIR
Each hostile file must end with its expected exit code within a few seconds, with a message naming it;
a report that cannot reach stdout is exit 1; SIGINT and SIGTERM end every stage within half a second with
130 and 143, leaving no file behind, also when a second signal arrives while an output is written."""
import os
import runpy
import signal
import subprocess
import sys
import types
import tempfile
import time

TOOL, SCRIPTS = sys.argv[1], sys.argv[2]
# Sanitizer lanes run a tool several times slower (and its exit flushes the sanitizer's state): they scale
# the time bounds. The bounds themselves are the tool's promise for a normal build.
SCALE = float(os.environ.get("MESHPROBE_TEST_TIME_SCALE", "1"))
failures = []


def load(name):
    # The scripts' names have dashes, so they cannot be imported by name: run one and keep its functions.
    return types.SimpleNamespace(**runpy.run_path(os.path.join(SCRIPTS, name + ".py")))


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def hostile_files(folder):
    corpus = load("make-hostile-corpus")
    for name, data, args, expected in corpus.CORPUS:
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        start = time.monotonic()
        run = subprocess.run([TOOL, args[0], path] + args[1:], capture_output=True, text=True, timeout=30)
        seconds = time.monotonic() - start
        check(run.returncode == expected, f"{name}: exit {run.returncode}, expected {expected}: {run.stderr}")
        check(seconds < 6 * SCALE, f"{name}: took {seconds:.1f} s")
        if expected == 2:
            check(path in run.stderr, f"{name}: the message does not name the file: {run.stderr}")


def full_stdout(folder, mesh):
    for args in (["info"], ["trapped", "-r", "16"], ["thickness", "--min", "0", "--max", "1", "--samples", "1"],
                 ["areas", "--faces", "0-3"]):
        for json in ([], ["--json"]):
            command = [TOOL, args[0], mesh] + args[1:] + json
            with open("/dev/full", "w") as full:
                run = subprocess.run(command, stdout=full, stderr=subprocess.PIPE, text=True, timeout=60)
            check(run.returncode == 1 and "standard output" in run.stderr,
                  f"{' '.join(command[1:])} > /dev/full: exit {run.returncode}: {run.stderr}")


def interrupt(folder, mesh, args, delay, signals, output=None):
    """Sends `signals` (50 ms apart) `delay` seconds after the start; returns exit code, seconds taken
    from the first signal to the exit, and standard error."""
    process = subprocess.Popen([TOOL, args[0], mesh] + args[1:], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               text=True)
    time.sleep(delay)
    if process.poll() is not None:
        process.communicate()
        return None, 0.0, ""
    sent = time.monotonic()
    for i, number in enumerate(signals):
        if i > 0:
            time.sleep(0.05)
        process.send_signal(number)
    _, err = process.communicate(timeout=30)
    return process.returncode, time.monotonic() - sent, err


def signals(folder):
    mesh = os.path.join(folder, "large.stl")
    load("make-large-mesh").write_binary_stl(mesh, *load("make-large-mesh").bumpy_sphere(600000))
    # Eight rays per face keep a Release thickness run going for seconds, so its signal lands among the rays
    # (one ray per face can be done by 1.5 s, and a signal to a tool already on its way out proves nothing).
    runs = [(["info"], 0.05), (["info"], 0.3), (["info"], 0.8), (["trapped", "-r", "256"], 0.5),
            (["thickness", "--min", "0", "--max", "5", "--samples", "8"], 1.5)]
    for args, delay in runs:
        for number, expected in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            code, seconds, err = interrupt(folder, mesh, args, delay, [number])
            if code is None:
                continue  # finished before the signal: nothing to measure
            if code == -number and delay < 0.1:
                continue  # still loading (slow under a sanitizer): main() had not installed its handlers yet
            check(code == expected, f"{args[0]} signal {number} after {delay} s: exit {code}: {err[-2000:]}")
            # One thread ends the process: the watchdog and main() never both report it.
            check(err.count("interrupted") == 1, f"{args[0]} signal {number} after {delay} s: stderr {err!r}")
            check(seconds < 0.5 * SCALE, f"{args[0]} signal {number} after {delay} s: took {seconds:.2f} s to exit")
    # A second Ctrl-C while the colour file or cavity meshes are written: nothing partial is left.
    for args in (["thickness", "--min", "0", "--max", "5", "--samples", "0", "--color"], ["trapped", "-r", "64",
                                                                                          "--cavities"]):
        for delay in (0.6, 0.9, 1.2):
            out = os.path.join(folder, "out", "result.ply")
            os.makedirs(os.path.dirname(out), exist_ok=True)
            code, _, _ = interrupt(folder, mesh, args + [out], delay, [signal.SIGINT, signal.SIGINT])
            left = os.listdir(os.path.dirname(out))
            if code is not None:
                # 0: the file was complete before the first signal was acted on (a race with the end of the
                # work, not a fault); either way nothing partial may be left.
                check(code in (0, 130), f"{args[0]} with a second Ctrl-C after {delay} s: exit {code}")
                check(not any(".partial" in name for name in left), f"{args[0]}: partial file left: {left}")
            for name in left:
                os.remove(os.path.join(os.path.dirname(out), name))


with tempfile.TemporaryDirectory(prefix="meshprobe-robust-") as folder:
    hostile_files(folder)
    tetrahedron = os.path.join(folder, "tetrahedron.obj")
    with open(tetrahedron, "wb") as f:
        f.write(load("make-hostile-corpus").huge_tetra_obj(10))
    full_stdout(folder, tetrahedron)
    signals(folder)
print(f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
