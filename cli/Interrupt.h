// SPDX-License-Identifier: MIT
// Ctrl-C (SIGINT) and SIGTERM turned into a cancellation request that long work polls.
#pragma once

#include "meshprobe/Progress.h"

namespace cli {

/// Installs the handlers and starts the watchdog thread. The first signal raises the request, which long
/// work polls; when the process is still running 200 ms later, or a second signal arrives, the watchdog
/// removes the partial output files and ends the process with interruptExitCode().
void installInterruptHandler();

/// True once a signal arrived. Safe to call from any thread.
bool interruptRequested();

/// Exit code for the signal received (128 + signal number), or 130 when none arrived.
int interruptExitCode();

/// A toolkit callback that reports nothing and answers false once a signal arrived: it cancels imports,
/// writes and analyses that run without a progress bar.
meshprobe::ProgressCallback cancelOnInterrupt();

} // namespace cli
