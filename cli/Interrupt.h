// SPDX-License-Identifier: MIT
// Ctrl-C (SIGINT) and SIGTERM turned into a cancellation request that long work polls.
#pragma once

namespace cli {

/// Installs the handlers. The first signal only raises the request; the handler then resets itself, so a
/// second Ctrl-C ends the process at once.
void installInterruptHandler();

/// True once a signal arrived. Safe to call from any thread.
bool interruptRequested();

/// Exit code for the signal received (128 + signal number), or 130 when none arrived.
int interruptExitCode();

/// Throws Kel::AbortException when a signal arrived: the cancellation signal the library understands.
void throwIfInterrupted();

} // namespace cli
