// SPDX-License-Identifier: MIT
// Exit codes of the tool and the exceptions that carry a failure to main() with its exit code.
#pragma once

#include <stdexcept>
#include <string>

namespace cli {

enum ExitCode : int {
    ExitSuccess = 0,
    ExitAnalysisFailed = 1,
    ExitBadInput = 2,
    ExitInterrupted = 130, // 128 + SIGINT, what shells report for a Ctrl-C
};

/// Bad usage or unreadable input (exit 2). The message names the file or option and what is wrong.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The analysis ran but failed (exit 1); the message is the library's own.
class AnalysisError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace cli
