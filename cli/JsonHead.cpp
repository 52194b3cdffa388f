// SPDX-License-Identifier: MIT
// The keys every command's JSON report starts with.
#include "cli/JsonHead.h"

namespace cli {

nlohmann::ordered_json jsonHead(const std::string& command, const CommonOptions& options, const meshprobe::Mesh& mesh)
{
    return nlohmann::ordered_json{{"command", command},
                                  {"mesh", options.meshPath},
                                  {"triangles", mesh.triangleCount()},
                                  {"vertices", mesh.vertexCount()}};
}

} // namespace cli
