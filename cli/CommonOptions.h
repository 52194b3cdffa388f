// SPDX-License-Identifier: MIT
// The options every subcommand takes: the mesh argument, --json and --quiet.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace cli {

struct CommonOptions {
    std::string meshPath;
    bool json = false;
    bool quiet = false;
    /// Unit of formats without units (mm, cm, m, in); --format of MESH "-" (standard input).
    std::string units = "mm";
    std::string format;
    /// --force: an output file may replace the input mesh.
    bool force = false;
};

/// Adds MESH, --json and -q/--quiet to a subcommand.
void addCommonOptions(CLI::App& command, CommonOptions& options);

} // namespace cli
