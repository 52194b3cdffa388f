// SPDX-License-Identifier: MIT
// The JSON form of the toolkit's results that batch records, the tool and the report share.
#pragma once

#include <nlohmann/json.hpp>

#include "meshprobe/Inspect.h"

namespace meshprobe::json {

/// A float as the double with the shortest decimal form that reads back as the same float, so that JSON
/// shows 0.3 instead of 0.30000001192092896.
double shortestDouble(float value);

/// "bounds", "watertight", "nonmanifold_edges", "bad_edges", "border_edges", "volume", "area".
nlohmann::ordered_json infoJson(const MeshInfo& info);

} // namespace meshprobe::json
