// SPDX-License-Identifier: MIT
// Signal handlers that record a cancellation request; everything else polls it. A watchdog thread ends the
// process when the request is not honoured in time (work without a cancellation point: welding, topology)
// or when a second signal arrives, after removing the partial output files.
#include "cli/Interrupt.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "meshprobe/Export.h"

namespace cli {
namespace {

// Lock-free atomics and write() are all a signal handler may touch.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "signal handler needs a lock-free flag");
int wakeWatchdog[2] = {-1, -1};
// Taken by whichever thread ends an interrupted process first, the watchdog or main(): only one of them
// removes the partial files, prints and calls _exit, and an interrupted main() never goes through exit(),
// whose destructors would otherwise run while the watchdog ends the process.
std::atomic<bool> ending{false};

// Time the cooperative cancellation gets before the watchdog ends the process: the tool must be gone
// within half a second of the signal.
constexpr int graceMilliseconds = 200;

extern "C" void onSignal(int signalNumber)
{
    int expected = 0;
    receivedSignal.compare_exchange_strong(expected, signalNumber);
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(wakeWatchdog[1], &byte, 1);
    errno = savedErrno;
}

/// Waits for the thread that took `ending` to end the process.
[[noreturn]] void waitForTheEnd()
{
    for (;;)
        pause();
}

[[noreturn]] void endNow()
{
    if (ending.exchange(true)) waitForTheEnd();
    meshprobe::discardPartialOutputs();
    const char message[] = "\r\033[Kmeshprobe: interrupted\n";
    const char plain[] = "meshprobe: interrupted\n";
    const bool terminal = isatty(STDERR_FILENO) != 0;
    [[maybe_unused]] const ssize_t ignored =
        terminal ? write(STDERR_FILENO, message, sizeof message - 1) : write(STDERR_FILENO, plain, sizeof plain - 1);
    _exit(interruptExitCode());
}

void watch()
{
    char byte = 0;
    while (read(wakeWatchdog[0], &byte, 1) != 1) {
    }
    pollfd second{wakeWatchdog[0], POLLIN, 0};
    poll(&second, 1, graceMilliseconds);
    endNow();
}

} // namespace

void installInterruptHandler()
{
    if (pipe2(wakeWatchdog, O_CLOEXEC) != 0) return;
    fcntl(wakeWatchdog[1], F_SETFL, O_NONBLOCK);
    std::thread(watch).detach();
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void endInterrupted()
{
    endNow();
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
