// SPDX-License-Identifier: MIT
// The keys every command's JSON report starts with.
#include "cli/JsonHead.h"

#include "cli/InputMesh.h"

namespace cli {

nlohmann::ordered_json jsonHead(const std::string& command, const CommonOptions& options, const meshprobe::Mesh& mesh)
{
    return nlohmann::ordered_json{
        {"version", MESHPROBE_VERSION},  {"schema", jsonSchema},        {"command", command},
        {"mesh", options.meshPath},      {"units", inputUnit(options)}, {"triangles", mesh.triangleCount()},
        {"vertices", mesh.vertexCount()}};
}

nlohmann::ordered_json jsonError(const std::string& message, int exitCode)
{
    return nlohmann::ordered_json{
        {"version", MESHPROBE_VERSION}, {"schema", jsonSchema}, {"error", message}, {"exit_code", exitCode}};
}

} // namespace cli
