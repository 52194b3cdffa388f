// SPDX-License-Identifier: MIT
// The options every subcommand takes.
#include "cli/CommonOptions.h"

namespace cli {

void addCommonOptions(CLI::App& command, CommonOptions& options)
{
    command
        .add_option("MESH", options.meshPath, "Mesh file: STL (binary or ASCII), OBJ, PLY, OFF, 3MF, ...; - for stdin")
        ->required();
    command.add_flag("--json", options.json, "Print one JSON object on stdout instead of the summary");
    command.add_flag("-q,--quiet", options.quiet, "No progress bar on stderr");
    command.add_option("--units", options.units, "Unit of STL, OBJ, PLY and OFF files (3MF files declare their own)")
        ->type_name("mm|cm|m|in")
        ->check(CLI::IsMember({"mm", "cm", "m", "in"}))
        ->capture_default_str();
    command.add_option("--format", options.format, "Format of MESH '-' (standard input)")
        ->type_name("stl|obj|ply|off|3mf|glb")
        ->check(CLI::IsMember({"stl", "obj", "ply", "off", "3mf", "glb"}));
}

} // namespace cli
