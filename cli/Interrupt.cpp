// SPDX-License-Identifier: MIT
// SIGINT and SIGTERM are blocked in every thread and taken by one watchdog thread with sigwait: it records
// the cancellation request that long work polls, and ends the process when the request is not honoured in
// time (work without a cancellation point: welding, topology) or when a second signal arrives, after
// removing the partial output files. With a handler instead, a signal could land on any thread, a busy
// ray worker included; under ThreadSanitizer, which runs a handler only when its thread next calls into
// the runtime, such a Ctrl-C was seen too late or not at all.
#include "cli/Interrupt.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "meshprobe/Export.h"

namespace cli {
namespace {

std::atomic<int> receivedSignal{0};
// Taken by whichever thread ends an interrupted process first, the watchdog or main(): only one of them
// removes the partial files, prints and calls _exit, and an interrupted main() never goes through exit(),
// whose destructors would otherwise run while the watchdog ends the process.
std::atomic<bool> ending{false};

// Time the cooperative cancellation gets before the watchdog ends the process: the tool must be gone
// within half a second of the signal.
constexpr long graceMilliseconds = 200;

sigset_t interruptSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

/// Waits for the thread that took `ending` to end the process.
[[noreturn]] void waitForTheEnd()
{
    for (;;)
        pause();
}

/// Ends the process as interrupted; the caller holds `ending`.
[[noreturn]] void endTaken()
{
    meshprobe::discardPartialOutputs();
    const char message[] = "\r\033[Kmeshprobe: interrupted\n";
    const char plain[] = "meshprobe: interrupted\n";
    const bool terminal = isatty(STDERR_FILENO) != 0;
    [[maybe_unused]] const ssize_t ignored =
        terminal ? write(STDERR_FILENO, message, sizeof message - 1) : write(STDERR_FILENO, plain, sizeof plain - 1);
    _exit(interruptExitCode());
}

[[noreturn]] void endNow()
{
    if (ending.exchange(true)) waitForTheEnd();
    endTaken();
}

void watch(sigset_t signals)
{
    int first = 0;
    while (sigwait(&signals, &first) != 0) {
    }
    receivedSignal.store(first);
    const timespec grace{0, graceMilliseconds * 1000000L};
    // A second signal ends the process at once; so does the end of the grace period. EINTR (a debugger
    // attaching) only shortens the grace.
    sigtimedwait(&signals, nullptr, &grace);
    endNow();
}

} // namespace

void installInterruptHandler()
{
    // Blocked before any other thread exists, so that every thread started later inherits the mask and
    // only the watchdog's sigwait takes these signals.
    const sigset_t signals = interruptSignals();
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
    // An ignored signal is dropped before sigwait could see it: a tool started in the background of a
    // script inherits an ignored SIGINT, and Ctrl-C or kill -INT must still cancel it.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(SIGINT, &standard, nullptr);
    sigaction(SIGTERM, &standard, nullptr);
    try {
        std::thread(watch, signals).detach();
    } catch (const std::system_error&) {
        pthread_sigmask(SIG_UNBLOCK, &signals, nullptr); // no watchdog: Ctrl-C keeps its default effect
    }
}

void endInterrupted()
{
    endNow();
}

void claimOrdinaryExit()
{
    if (ending.exchange(true)) waitForTheEnd();
    if (interruptRequested()) endTaken();
}

bool interruptRequested()
{
    return receivedSignal.load(std::memory_order_relaxed) != 0;
}

int interruptExitCode()
{
    const int signalNumber = receivedSignal.load();
    return 128 + (signalNumber != 0 ? signalNumber : SIGINT);
}

meshprobe::ProgressCallback cancelOnInterrupt()
{
    return [](float) { return !interruptRequested(); };
}

} // namespace cli
