// SPDX-License-Identifier: MIT
// The options every subcommand takes.
#include "cli/CommonOptions.h"

namespace cli {

void addCommonOptions(CLI::App& command, CommonOptions& options)
{
    command.add_option("MESH", options.meshPath, "Mesh file: STL (binary or ASCII), OBJ, PLY, OFF, 3MF, ...")
        ->required();
    command.add_flag("--json", options.json, "Print one JSON object on stdout instead of the summary");
    command.add_flag("-q,--quiet", options.quiet, "No progress bar on stderr");
}

} // namespace cli
