"""Long calls: progress, cancellation from the callable, Ctrl-C, and the GIL released meanwhile."""

import _thread, signal, subprocess, sys, threading, time

import pytest

import meshprobe
from conftest import BRACKET

# Long enough on this machine (about half a second) for another thread and a Ctrl-C to get in.
LONG_TRAPPED = dict(resolution=400, threads=1, cavity_meshes=False)
CALLS = {
    "thickness": lambda mesh, progress: meshprobe.thickness(mesh, 0, 2, progress=progress),
    "trapped": lambda mesh, progress: meshprobe.trapped(mesh, progress=progress, **LONG_TRAPPED),
    "check": lambda mesh, progress: meshprobe.check(mesh, "powder", resolution=200, progress=progress),
    "load": lambda mesh, progress: meshprobe.load(BRACKET, progress=progress),
}


@pytest.mark.parametrize("name", CALLS)
def test_progress_rises_to_100_once_and_false_or_an_exception_cancels(bracket, name):
    seen, stopped = [], []
    CALLS[name](bracket, seen.append)
    assert seen and seen == sorted(seen) and seen[-1] == 100 and seen.count(100) == 1
    if name == "load":
        return
    with pytest.raises(meshprobe.Cancelled):
        CALLS[name](bracket, lambda percent: stopped.append(percent) or False)
    assert len(stopped) == 1 and stopped[0] < 100
    assert CALLS[name](bracket, None) is not None  # the next call works
    with pytest.raises(ZeroDivisionError):  # the callable's own exception
        CALLS[name](bracket, lambda percent: stopped.append(percent) or 1 / 0)
    assert len(stopped) == 2 and stopped[1] < 100


def test_another_python_thread_runs_during_a_long_call(bracket):
    ticks, stop = [], threading.Event()
    # Each tick needs the GIL back after a short wait: held throughout the call, no tick could fall within it.
    counter = threading.Thread(target=lambda: [ticks.append(time.monotonic()) for _ in iter(lambda: stop.wait(0.002), True)])
    counter.start()
    began = time.monotonic()
    meshprobe.trapped(bracket, **LONG_TRAPPED)
    ended = time.monotonic()
    stop.set()
    counter.join()
    during = sum(began < tick < ended for tick in ticks)
    assert during >= 10, f"{during} ticks during a {ended - began:.2f} s call"


def test_ctrl_c_raises_keyboard_interrupt_and_stops_the_call(bracket):
    seen, started = [], threading.Event()
    presser = threading.Thread(target=lambda: started.wait(10) and _thread.interrupt_main())  # as on Ctrl-C
    presser.start()
    with pytest.raises(KeyboardInterrupt):
        meshprobe.trapped(bracket, progress=lambda percent: seen.append(percent) or started.set(), **LONG_TRAPPED)
    presser.join()
    assert seen[-1] < 100  # the next report after the signal cancels, well before the call would have finished


def test_a_real_sigint_interrupts_a_call_in_a_script():
    script = (f"import meshprobe, sys\nmesh = meshprobe.load({str(BRACKET)!r})\nprint('started', flush=True)\n"
              "while True:\n"  # calls until the signal comes, however fast the machine
              "    meshprobe.trapped(mesh, resolution=700, threads=1, cavity_meshes=False)\n")
    process = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert process.stdout.readline() == "started\n"
    time.sleep(0.3)
    signalled = time.monotonic()
    process.send_signal(signal.SIGINT)
    _, err = process.communicate(timeout=120)
    # Raised inside the call (line 5 of the script), soon after the signal.
    assert process.returncode != 0 and "KeyboardInterrupt" in err and 'File "<string>", line 5' in err
    assert time.monotonic() - signalled < 3, "the call ran on after Ctrl-C"
