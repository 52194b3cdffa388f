// SPDX-License-Identifier: MIT
// Exit codes of the tool and the exceptions that carry a failure to main() with its exit code.
#pragma once

#include "meshprobe/Error.h"

namespace cli {

enum ExitCode : int {
    ExitSuccess = 0,
    ExitAnalysisFailed = 1,
    ExitBadInput = 2,
    ExitInterrupted = 130, // 128 + SIGINT, what shells report for a Ctrl-C
};

/// Bad usage or unreadable input (exit 2). The message names the file or option and what is wrong.
using InputError = meshprobe::InputError;

/// The analysis ran but failed (exit 1); the message is the toolkit's own.
using AnalysisError = meshprobe::Error;

} // namespace cli
