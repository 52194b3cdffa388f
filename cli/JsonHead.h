// SPDX-License-Identifier: MIT
// The keys every command's JSON report starts with.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "cli/CommonOptions.h"
#include "meshprobe/Mesh.h"

namespace cli {

/// "version" (the tool's), "schema", "command", "mesh" (the path as given), "units", "triangles",
/// "vertices" (after welding).
nlohmann::ordered_json jsonHead(const std::string& command, const CommonOptions& options, const meshprobe::Mesh& mesh);

/// The one JSON object printed on failure with --json: "version", "schema", "error", "exit_code".
nlohmann::ordered_json jsonError(const std::string& message, int exitCode);

} // namespace cli
