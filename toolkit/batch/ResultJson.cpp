// SPDX-License-Identifier: MIT
// The JSON form of the toolkit's results that batch records, the tool and the report share.
#include "toolkit/batch/ResultJson.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace meshprobe::json {

double shortestDouble(float value)
{
    if (!std::isfinite(value)) return value;
    char text[32];
    // to_chars of a float gives its shortest round-trip form; reading that as a double keeps it short.
    const auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

nlohmann::ordered_json infoJson(const MeshInfo& info)
{
    const auto triple = [](const std::array<float, 3>& v) {
        return nlohmann::ordered_json::array({shortestDouble(v[0]), shortestDouble(v[1]), shortestDouble(v[2])});
    };
    return {{"bounds", nlohmann::ordered_json::array({triple(info.boundsMin), triple(info.boundsMax)})},
            {"watertight", info.watertight},
            {"nonmanifold_edges", info.nonManifoldEdges},
            {"bad_edges", info.badEdges},
            {"border_edges", info.borderEdges},
            {"volume", info.volume},
            {"inside_out", info.insideOut},
            {"area", info.area}};
}

} // namespace meshprobe::json
