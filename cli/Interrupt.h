// SPDX-License-Identifier: MIT
// Ctrl-C (SIGINT) and SIGTERM turned into a cancellation request that long work polls.
#pragma once

#include "meshprobe/Progress.h"

namespace cli {

/// Installs the handlers. The first signal only raises the request; the handler then resets itself, so a
/// second Ctrl-C ends the process at once.
void installInterruptHandler();

/// True once a signal arrived. Safe to call from any thread.
bool interruptRequested();

/// Exit code for the signal received (128 + signal number), or 130 when none arrived.
int interruptExitCode();

/// A toolkit callback that reports nothing and answers false once a signal arrived: it cancels imports,
/// writes and analyses that run without a progress bar.
meshprobe::ProgressCallback cancelOnInterrupt();

} // namespace cli
