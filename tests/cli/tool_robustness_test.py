#!/usr/bin/python3
"""The tool against hostile files, failed standard output and signals at any moment.

Usage: tool_robustness_test.py MESHPROBE SCRIPTS_DIR [PART...], PART one of hostile-files, full-stdout, signals,
second-signal (all when none is given). Each hostile file ends with its expected exit code within seconds and a
message naming it; a report that cannot reach stdout is exit 1; SIGINT and SIGTERM end every stage within half
a second (more on a machine loaded beyond its cores) with 130 and 143, leaving no file behind, also when a
second signal arrives while an output is written. The signals are aimed at stages the tool's progress bar
shows on a pseudo-terminal; loading has no bar: there the moments are fractions of a measured run."""
import concurrent.futures
import os
import pty
import re
import runpy
import select
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


def load(name):  # the scripts' names have dashes: run one and keep its functions
    return types.SimpleNamespace(**runpy.run_path(os.path.join(SCRIPTS, name + ".py")))


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def hostile_files(folder):
    os.makedirs(folder)
    corpus = load("make-hostile-corpus")

    def run(entry):
        name, data, args, expected = entry
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        start = time.monotonic()
        run = subprocess.run([TOOL, args[0], path] + args[1:], capture_output=True, text=True, timeout=30)
        return name, path, expected, run, time.monotonic() - start

    # Most files are refused at once and one waits out the reader's time limit: side by side, the corpus
    # takes about as long as that one file.
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        for name, path, expected, run, seconds in pool.map(run, corpus.CORPUS):
            check(run.returncode == expected, f"{name}: exit {run.returncode}, expected {expected}: {run.stderr}")
            check(seconds < 6 * SCALE, f"{name}: took {seconds:.1f} s")
            if expected == 2:
                check(path in run.stderr, f"{name}: the message does not name the file: {run.stderr}")


def full_stdout(folder):
    os.makedirs(folder)
    mesh = os.path.join(folder, "tetrahedron.obj")
    with open(mesh, "wb") as f:
        f.write(load("make-hostile-corpus").huge_tetra_obj(10))
    for args in (["info"], ["trapped", "-r", "16"], ["thickness", "--min", "0", "--max", "1", "--samples", "1"],
                 ["areas", "--faces", "0-3"]):
        for json in ([], ["--json"]):
            command = [TOOL, args[0], mesh] + args[1:] + json
            with open("/dev/full", "w") as full:
                run = subprocess.run(command, stdout=full, stderr=subprocess.PIPE, text=True, timeout=60)
            check(run.returncode == 1 and "standard output" in run.stderr,
                  f"{' '.join(command[1:])} > /dev/full: exit {run.returncode}: {run.stderr}")


# One drawing of the bar: "\r[###...] 42%  label\033[K"; "\r\033[K" alone clears it.
BAR = re.compile(rb"\r(?:\[[#.]+\] +(\d+)%  ([^\r\x1b]*))?\x1b\[K")
CLEARED = (None, "cleared")


def interrupt(mesh, args, when, signals):
    """Runs the tool with a pseudo-terminal as standard error and sends `signals` (50 ms apart) once
    `when(seconds since the start, the bar's drawings so far as (percent, label) or CLEARED)` holds. Returns
    the exit code (None when the tool ended first), the seconds from the first signal to the exit, and stderr."""
    terminal, tool_side = pty.openpty()
    process = subprocess.Popen([TOOL, args[0], mesh] + args[1:], stdout=subprocess.DEVNULL, stderr=tool_side)
    os.close(tool_side)
    start = time.monotonic()
    shown, unread, sent, everything = [], b"", None, b""
    try:
        while True:
            if sent is None and when(time.monotonic() - start, shown):
                if process.poll() is not None:
                    break
                sent = time.monotonic()
                for i, number in enumerate(signals):
                    if i > 0:
                        time.sleep(0.05)
                    process.send_signal(number)
            # Read on until the tool closes its terminal: a full terminal buffer would block its writes.
            if not select.select([terminal], [], [], 0.002 if sent is None else 1)[0]:
                continue
            try:
                data = os.read(terminal, 65536)
            except OSError:  # EIO: the tool has closed its side
                data = b""
            if not data:
                break
            unread += data
            everything += data
            end = 0
            for drawn in BAR.finditer(unread):
                shown.append((int(drawn[1]), drawn[2].decode()) if drawn[1] else CLEARED)
                end = drawn.end()
            unread = unread[end:]
    finally:
        os.close(terminal)
        process.wait(timeout=30)
    if sent is None:
        return None, 0.0, ""
    return process.returncode, time.monotonic() - sent, everything.decode(errors="replace")


def on_stage(label, percent=0):
    """Signal once the bar shows `label` at `percent` or more, or anything after it (a fast tool skips)."""
    def when(_, shown):
        seen = [i for i, (p, l) in enumerate(shown) if l.startswith(label)]
        return bool(seen) and (any(shown[i][0] >= percent for i in seen) or seen[0] < len(shown) - 1)

    return when


ATTEMPTS = 3  # a slow exit is tried again: load can hold up one run, a slow tool is slow in every run


def exit_bound():
    """Half a second on an idle machine, growing with the load per core to at most twice that: a tool that is
    slow to stop still fails on a busy machine."""
    busy = os.getloadavg()[0] / (os.cpu_count() or 1)
    return 0.5 * SCALE * min(2.0, max(1.0, busy))


def expect_exit(what, number, expected, attempt):
    """Runs `attempt()` (exit code, seconds to the exit, stderr; None when the tool finished first) until the
    exit comes in time, at most ATTEMPTS times; every run's exit code and message are checked."""
    for _ in range(ATTEMPTS):
        outcome = attempt()
        if outcome is None:
            return
        code, seconds, err = outcome
        bound = exit_bound()
        print(f"{what}: signal {number}: exit {code} after {seconds:.3f} s (bound {bound:.2f} s)", flush=True)
        check(code == expected, f"{what}: signal {number}: exit {code}: {err[-2000:]!r}")
        # One thread ends the process: the watchdog and main() never both report it.
        check(err.count("meshprobe: interrupted") == 1, f"{what}: signal {number}: stderr {err[-2000:]!r}")
        if code != expected or seconds < bound:
            return
    check(False, f"{what}: signal {number}: took {seconds:.2f} s to exit (bound {bound:.2f} s), {ATTEMPTS} times")


def bumpy_sphere(folder, triangles):
    """A scan-like part, large enough to be interrupted while it loads or while a stage runs."""
    path = os.path.join(folder, f"sphere-{triangles}.stl")
    if not os.path.exists(path):
        generator = load("make-large-mesh")
        generator.write_binary_stl(path, *generator.bumpy_sphere(triangles))
    return path


def finished_first(code, err):
    """The tool ended before the signal, or was on its way out with its own exit code when it came."""
    return code is None or (code == 0 and "interrupted" not in err)


def start_up_seconds():
    """The longest of three runs of `--version` now: loading the libraries and installing signal handling."""
    longest = 0.0
    for _ in range(3):
        began = time.monotonic()
        subprocess.run([TOOL, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        longest = max(longest, time.monotonic() - began)
    return longest


def signal_after(mesh, args, delay, number, expected):
    """Sends `number` `delay` seconds after the start (or at the bar's first drawing): earlier again when the
    tool was done, later when the signal's default action killed it while it started (no handlers yet). A tool
    that never handles the signal ends killed or finished in all eight runs, and the check fails."""
    found = [delay]

    def attempt():
        delay = found[0]
        for _ in range(8):
            starting = max(0.1 * SCALE, 2 * start_up_seconds())
            code, seconds, err = interrupt(mesh, args, lambda t, shown: t >= delay or bool(shown), [number])
            if finished_first(code, err):
                delay *= 0.5
            elif code == -number and delay < starting:
                delay = 2 * delay + 0.002
            else:
                found[0] = delay
                return code, seconds, err
        check(False, f"{args[0]}: signal {number} never reached the running tool (last delay {delay:.3f} s)")
        return None

    expect_exit(f"{args[0]} after {delay:.3f} s", number, expected, attempt)


def signals(folder):
    os.makedirs(folder)
    large, medium = bumpy_sphere(folder, 600000), bumpy_sphere(folder, 120000)
    # Loading and inspecting (no bar): at fractions of a measured run.
    start = time.monotonic()
    subprocess.run([TOOL, "info", large], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    info_seconds = time.monotonic() - start
    for fraction in (0.1, 0.4, 0.7):
        for number, expected in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            signal_after(large, ["info"], fraction * info_seconds, number, expected)
    # The analyses while the bar shows them at work, then while the part is checked and set up for them
    # (before the bar): at half the time the bar took to appear.
    for args, stage in ((["trapped", "-r", "256"], "voxelizing"),
                        (["thickness", "--min", "0", "--max", "5", "--samples", "8"], "measuring")):
        bar_seconds = []

        def at_stage(t, shown, on=on_stage(stage, 10)):
            if shown and not bar_seconds:
                bar_seconds.append(t)
            return on(t, shown)

        for number, expected in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):

            def attempt(number=number):
                code, seconds, err = interrupt(medium, args, at_stage, [number])
                # Finished before the signal: nothing to measure.
                return None if finished_first(code, err) else (code, seconds, err)

            expect_exit(f"{args[0]} while {stage}", number, expected, attempt)
        if not bar_seconds:
            check(False, f"{args[0]}: no progress bar on a terminal")
            continue
        for number, expected in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            signal_after(medium, args, 0.5 * bar_seconds[0], number, expected)


def second_signal(folder):
    """A second Ctrl-C while the colour file or cavity meshes are written: nothing partial is left."""
    os.makedirs(folder)
    medium = bumpy_sphere(folder, 120000)
    out = os.path.join(folder, "out", "result.ply")
    os.makedirs(os.path.dirname(out), exist_ok=True)
    # Before, as and after the file is written: the colour file right after the (instant, --samples 0)
    # measuring, the cavity meshes under their own label.
    colour = (["thickness", "--min", "0", "--max", "5", "--samples", "0", "--color"],
              [("measuring", on_stage("measuring")), ("writing", on_stage("measuring", 100)),
               ("after writing", lambda _, shown: CLEARED in shown)])
    cavities = (["trapped", "-r", "64", "--cavities"],
                [("voxelizing", on_stage("voxelizing")), ("locating", on_stage("locating cavities")),
                 ("writing", on_stage("writing"))])
    for args, moments in (colour, cavities):
        for moment, when in moments:
            code, _, _ = interrupt(medium, args + [out], when, [signal.SIGINT, signal.SIGINT])
            left = os.listdir(os.path.dirname(out))
            print(f"{args[0]} with a second Ctrl-C at {moment}: exit {code}, left {left}", flush=True)
            if code is not None:
                # 0: the file was complete before the first signal was acted on (a race with the end of the
                # work, not a fault); either way nothing partial may be left.
                check(code in (0, 130), f"{args[0]} with a second Ctrl-C at {moment}: exit {code}")
                check(not any(".partial" in name for name in left), f"{args[0]}: partial file left: {left}")
            for name in left:
                os.remove(os.path.join(os.path.dirname(out), name))


PARTS = {"hostile-files": hostile_files, "full-stdout": full_stdout, "signals": signals,
         "second-signal": second_signal}
SIGNAL_PARTS = ("signals", "second-signal")

if __name__ == "__main__":
    chosen = sys.argv[3:] or list(PARTS)
    unknown = [part for part in chosen if part not in PARTS]
    if unknown:
        sys.exit(f"unknown part(s) {unknown}; choose from {list(PARTS)}")
    skip_signals = os.environ.get("MESHPROBE_SKIP_SIGNAL_TESTS") and "MESHPROBE_SKIP_SIGNAL_TESTS"
    try:  # the signal parts watch the progress bar on a pseudo-terminal; a machine may have none
        for fd in pty.openpty():
            os.close(fd)
    except OSError as error:
        skip_signals = skip_signals or f"no pseudo-terminal: {error}"
    if skip_signals:
        for part in [part for part in chosen if part in SIGNAL_PARTS]:
            print(f"{part}: signal tests skipped ({skip_signals})")
            chosen.remove(part)
    with tempfile.TemporaryDirectory(prefix="meshprobe-robust-") as folder:
        # Most of the hostile-file part waits for the reader's time limit: the other parts fit in meanwhile.
        side_by_side = [part for part in chosen if part != "signals"]
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, len(side_by_side))) as pool:
            for done in [pool.submit(PARTS[part], os.path.join(folder, part)) for part in side_by_side]:
                done.result()
        if "signals" in chosen:
            PARTS["signals"](os.path.join(folder, "signals"))
    print(f"{len(failures)} failure(s)")
    sys.exit(1 if failures else 0)
