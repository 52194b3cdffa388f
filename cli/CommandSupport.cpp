// SPDX-License-Identifier: MIT
// Options and report pieces shared by the subcommands.
#include "cli/CommandSupport.h"

#include <algorithm>
#include <cmath>

namespace cli {

void addCommonOptions(CLI::App& command, CommonOptions& options)
{
    command.add_option("MESH", options.meshPath, "Mesh file: STL (binary or ASCII), OBJ, PLY, OFF, 3MF, ...")
        ->required();
    command.add_flag("--json", options.json, "Print one JSON object on stdout instead of the summary");
    command.add_flag("-q,--quiet", options.quiet, "No progress bar on stderr");
}

double Stopwatch::seconds() const
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return std::round(elapsed.count() * 1000.0) / 1000.0; // milliseconds are all a user can use
}

nlohmann::ordered_json jsonHead(const std::string& command, const CommonOptions& options, const UMesh<float>& mesh)
{
    return nlohmann::ordered_json{{"command", command},
                                  {"mesh", options.meshPath},
                                  {"triangles", mesh.faces.size()},
                                  {"vertices", mesh.vertices.size()}};
}

size_t selectedFaceCount(const UMesh<float>& mesh)
{
    return static_cast<size_t>(
        std::count_if(mesh.faces.begin(), mesh.faces.end(), [](const UTriangle<float>* f) { return f->IsS(); }));
}

} // namespace cli
