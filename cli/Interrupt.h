// SPDX-License-Identifier: MIT
// Ctrl-C (SIGINT) and SIGTERM turned into a cancellation request that long work polls.
#pragma once

#include "meshprobe/Progress.h"

namespace cli {

/// Blocks SIGINT and SIGTERM and starts the watchdog thread that takes them: call it first in main(), before
/// any other thread starts. The first signal raises the request, which long work polls; when the process is still
/// running 200 ms later, or a second signal arrives, the watchdog removes the partial output files and ends the process
/// with interruptExitCode().
void installInterruptHandler();

/// For main() once a signal was acted on: removes the partial output files, prints "interrupted" and ends
/// the process with interruptExitCode() through _exit, as the watchdog does. Whichever of the two comes
/// first ends the process; the other waits for it, so exit()'s destructors never run beside a second exit.
[[noreturn]] void endInterrupted();

/// For main() when it is about to return: from here a signal finds the work done and its output complete,
/// and the process exits with main()'s code (the watchdog no longer ends it). If the watchdog is already
/// ending the process, waits for that; if a signal arrived that nothing has acted on yet, ends as
/// interrupted. Without this, a signal during exit() could print "interrupted" and still exit 0.
void claimOrdinaryExit();

/// True once a signal arrived. Safe to call from any thread.
bool interruptRequested();

/// Exit code for the signal received (128 + signal number), or 130 when none arrived.
int interruptExitCode();

/// A toolkit callback that reports nothing and answers false once a signal arrived: it cancels imports,
/// writes and analyses that run without a progress bar.
meshprobe::ProgressCallback cancelOnInterrupt();

} // namespace cli
