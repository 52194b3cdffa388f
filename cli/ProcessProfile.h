// SPDX-License-Identifier: MIT
// The process profile of the commands that judge a part (`check`, `batch`): --printer or --profile, and the
// overrides --up, --min-wall, --warn-wall and --drain.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "meshprobe/Profile.h"

namespace cli {

struct ProfileCliOptions {
    std::string printer;
    std::string profilePath;
    std::string up;
    double minWall = 0.0;
    double warnWall = 0.0;
    double drain = 0.0;
    /// The override options, to tell a value given from the default.
    CLI::Option* upOption = nullptr;
    CLI::Option* minWallOption = nullptr;
    CLI::Option* warnWallOption = nullptr;
    CLI::Option* drainOption = nullptr;
};

/// Adds --printer KIND and --profile FILE (one excludes the other), with --up when `withUp`, and
/// --min-wall, --warn-wall and --drain.
void addProfileOptions(CLI::App& command, ProfileCliOptions& options, bool withUp);

/// True when --printer or --profile was given.
bool hasProfile(const ProfileCliOptions& options);

/// The built-in profile of --printer or the file of --profile, with the overrides applied.
/// @throw InputError naming the option (or the file and key) and what is wrong; also when neither is given
meshprobe::Profile resolveProfile(const ProfileCliOptions& options);

/// The built-in profiles' limits, one line each, for a command's help footer.
std::string profileFooter();

} // namespace cli
