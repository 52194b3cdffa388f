// SPDX-License-Identifier: MIT
// The registry of subcommands: each adds its parser to the app and says what runs when it is chosen.
#pragma once

#include <functional>

#include <CLI/CLI.hpp>

namespace cli {

/// A subcommand: its CLI11 parser and what runs when the user chose it (returns the exit code).
struct Command {
    CLI::App* parser;
    std::function<int()> run;
};

/// The subcommands, each defined in its own file.
Command addInfoCommand(CLI::App& app);
Command addCheckCommand(CLI::App& app);
Command addTrappedCommand(CLI::App& app);
Command addThicknessCommand(CLI::App& app);
Command addAreasCommand(CLI::App& app);
Command addBatchCommand(CLI::App& app);
Command addOrientCommand(CLI::App& app);
#ifdef MESHPROBE_HAS_REPORT
Command addReportCommand(CLI::App& app);
#endif

} // namespace cli
