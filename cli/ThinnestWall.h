// SPDX-License-Identifier: MIT
// The thinnest wall of a thickness run, as every summary and JSON report states it.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "meshprobe/ThinAreas.h"

namespace cli {

/// "0.6 mm (area 2, face 118)", or "none thinner than 2 mm".
std::string thinnestLine(const meshprobe::ThinnestWall& thinnest, double max);

/// {"found": true, "thickness", "face", "area"}, or {"found": false, "thickness": max} when no wall is
/// thinner than max.
nlohmann::ordered_json thinnestJson(const meshprobe::ThinnestWall& thinnest, double max);

} // namespace cli
