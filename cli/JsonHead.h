// SPDX-License-Identifier: MIT
// The keys every command's JSON report starts with.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "cli/CommonOptions.h"
#include "meshprobe/Mesh.h"

namespace cli {

/// "command", "mesh" (the path as given), "triangles", "vertices" (after welding).
nlohmann::ordered_json jsonHead(const std::string& command, const CommonOptions& options, const meshprobe::Mesh& mesh);

} // namespace cli
