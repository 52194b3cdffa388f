// SPDX-License-Identifier: MIT
// The keys every command's JSON report starts with.
#include "cli/JsonHead.h"

#include "cli/InputMesh.h"
#include "toolkit/json/ResultJson.h"

namespace cli {

nlohmann::ordered_json jsonHead(const std::string& command, const CommonOptions& options, const meshprobe::Mesh& mesh)
{
    return meshprobe::json::headJson(command, MESHPROBE_VERSION, options.meshPath, inputUnit(options), mesh);
}

nlohmann::ordered_json jsonError(const std::string& message, int exitCode)
{
    return meshprobe::json::errorJson(MESHPROBE_VERSION, message, exitCode);
}

} // namespace cli
