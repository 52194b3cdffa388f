// SPDX-License-Identifier: MIT
// The colours of a thickness result, with the analysis' own colour ramp.
#pragma once

#include <vector>

#include "meshprobe/Export.h"

namespace meshprobe {

/// The neutral grey of faces with no wall thinner than max, in the tool's colour files and the report.
constexpr Rgba noWallColour = {128, 128, 128, 255};

/// The colour of every face from its thickness, with the analysis' own colour ramp: faces below `atMaxFrom`
/// get exactly the bytes of the analysis' colour mode for the window (red at min, through yellow, to green
/// at max); faces at or above `atMaxFrom` get `atMax`. With atMaxFrom = max and atMax = (0, 255, 128, 255)
/// the result is byte for byte the colour mode's.
/// @throw InputError for a window that is not finite or has min > max
std::vector<Rgba> thicknessColours(const std::vector<float>& perFace, float min, float max, float atMaxFrom,
                                   const Rgba& atMax);

} // namespace meshprobe
