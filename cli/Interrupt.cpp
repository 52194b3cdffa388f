// SPDX-License-Identifier: MIT
// Signal handlers that record a cancellation request; everything else polls it.
#include "cli/Interrupt.h"

#include <atomic>
#include <csignal>

namespace cli {
namespace {

// Lock-free atomics are the only shared state a signal handler may touch.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "signal handler needs a lock-free flag");

extern "C" void onSignal(int signalNumber)
{
    receivedSignal.store(signalNumber);
}

} // namespace

void installInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the second signal takes the default action (terminate) for a user who insists.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
