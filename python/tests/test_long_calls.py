"""Long calls: progress, cancellation from the callable, Ctrl-C, and the GIL released meanwhile."""

import _thread
import os
import signal
import subprocess
import sys
import threading
import time

import pytest

import meshprobe
from conftest import EXAMPLES

BRACKET = EXAMPLES / "bracket.stl"
# Long enough on this machine (about half a second) for another thread and a Ctrl-C to get in.
LONG_TRAPPED = dict(resolution=400, threads=1, cavity_meshes=False)
CALLS = {
    "thickness": lambda mesh, progress: meshprobe.thickness(mesh, 0, 2, progress=progress),
    "trapped": lambda mesh, progress: meshprobe.trapped(mesh, progress=progress, **LONG_TRAPPED),
    "load": lambda mesh, progress: meshprobe.load(BRACKET, progress=progress),
}


@pytest.fixture(scope="module")
def bracket():
    return meshprobe.load(BRACKET)


@pytest.mark.parametrize("name", CALLS)
def test_progress_rises_to_100_once_and_false_or_an_exception_cancels(bracket, name):
    seen = []
    CALLS[name](bracket, seen.append)
    assert seen and seen == sorted(seen) and seen[-1] == 100 and seen.count(100) == 1
    if name == "load":
        return
    stopped = []
    with pytest.raises(meshprobe.Cancelled):
        CALLS[name](bracket, lambda percent: stopped.append(percent) or False)
    assert len(stopped) == 1 and stopped[0] < 100
    assert CALLS[name](bracket, None) is not None  # the next call works

    class Stop(Exception):
        pass

    def fail(percent):
        raise Stop(percent)

    with pytest.raises(Stop) as raised:
        CALLS[name](bracket, fail)
    assert raised.value.args[0] < 100


def test_ctrl_c_raises_keyboard_interrupt_and_stops_the_call(bracket):
    seen, started = [], threading.Event()

    def report(percent):
        seen.append(percent)
        started.set()

    def press_ctrl_c():
        started.wait(10)
        _thread.interrupt_main()  # what the SIGINT handler does on Ctrl-C

    presser = threading.Thread(target=press_ctrl_c)
    presser.start()
    began = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        meshprobe.trapped(bracket, progress=report, **LONG_TRAPPED)
    presser.join()
    # The next report after the signal cancels: well before the call would have finished.
    assert seen[-1] < 100 and time.monotonic() - began < 5


def test_another_python_thread_runs_during_a_long_call(bracket):
    counts, running, stop = [], threading.Event(), threading.Event()

    def count():
        n = 0
        running.set()
        while not stop.is_set():
            n += 1
            if n % 1000 == 0:
                counts.append((time.monotonic(), n))

    counter = threading.Thread(target=count)
    counter.start()
    running.wait()
    began = time.monotonic()
    meshprobe.trapped(bracket, **LONG_TRAPPED)
    ended = time.monotonic()
    stop.set()
    counter.join()
    # With the GIL held throughout the call, the counter could not have advanced while it ran.
    during = [n for t, n in counts if began < t < ended]
    assert len(during) >= 10, f"{len(during)} counter steps during a {ended - began:.2f} s call"


def test_a_real_sigint_interrupts_a_call_in_a_script():
    script = (f"import meshprobe, sys\nmesh = meshprobe.load({str(BRACKET)!r})\nprint('started', flush=True)\n"
              "while True:\n"  # calls until the signal comes, however fast the machine
              "    meshprobe.trapped(mesh, resolution=700, threads=1, cavity_meshes=False)\n")
    process = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True, env={**os.environ, "PYTHONUNBUFFERED": "1"})
    assert process.stdout.readline() == "started\n"
    time.sleep(0.3)
    assert process.poll() is None
    signalled = time.monotonic()
    process.send_signal(signal.SIGINT)
    _, err = process.communicate(timeout=120)
    # Raised inside the call (line 5 of the script), soon after the signal.
    assert process.returncode != 0 and "KeyboardInterrupt" in err and 'File "<string>", line 5' in err
    assert time.monotonic() - signalled < 3, "the call ran on after Ctrl-C"
