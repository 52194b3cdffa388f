// SPDX-License-Identifier: MIT
// The thinnest wall of a thickness run, as every text summary states it.
#pragma once

#include <string>

#include "meshprobe/ThinAreas.h"

namespace cli {

/// "0.6 mm (area 2, face 118)", or "none thinner than 2 mm".
std::string thinnestLine(const meshprobe::ThinnestWall& thinnest, double max);

} // namespace cli
