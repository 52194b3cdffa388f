// SPDX-License-Identifier: MIT
// Checks of an output-file option before any long work, with messages that name the option.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "cli/CommonOptions.h"

namespace cli {

/// Checks that the option's path is not empty, has a known output extension (one that holds per-face
/// colours when `needsFaceColours`), can be created, and is not the input mesh itself unless --force was
/// given. Throws InputError naming the option.
void checkOutputOption(const std::string& path, const std::string& option, bool needsFaceColours,
                       const CommonOptions& input);

/// Rejects an empty output path ("--color ''"), which would otherwise read as "no file wanted".
CLI::Validator nonEmptyPath();

/// Adds --force (an output file may replace the input mesh) to a subcommand that writes files.
void addForceOption(CLI::App& command, CommonOptions& options);

} // namespace cli
