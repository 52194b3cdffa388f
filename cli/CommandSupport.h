// SPDX-License-Identifier: MIT
// What every subcommand shares: the mesh argument, --json and --quiet, the run hook, and the JSON head.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "common/HostMesh.h"

namespace cli {

struct CommonOptions {
    std::string meshPath;
    bool json = false;
    bool quiet = false;
};

/// A subcommand: its CLI11 parser and what runs when the user chose it (returns the exit code).
struct Command {
    CLI::App* parser;
    std::function<int()> run;
};

/// Adds MESH, --json and -q/--quiet to a subcommand.
void addCommonOptions(CLI::App& command, CommonOptions& options);

/// Measures the wall-clock time of a command for the "seconds" key.
class Stopwatch {
public:
    double seconds() const;

private:
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

/// The keys every command reports: "command", "mesh", "triangles", "vertices".
nlohmann::ordered_json jsonHead(const std::string& command, const CommonOptions& options, const UMesh<float>& mesh);

/// How many faces carry the selection flag.
size_t selectedFaceCount(const UMesh<float>& mesh);

/// The subcommands, each defined in its own file.
Command addInfoCommand(CLI::App& app);
Command addTrappedCommand(CLI::App& app);
Command addThicknessCommand(CLI::App& app);
Command addAreasCommand(CLI::App& app);

} // namespace cli
