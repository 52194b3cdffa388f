// SPDX-License-Identifier: MIT
// Colours from per-face thickness values: the steps of the analysis' colour mode, on values already measured.
#include "meshprobe/ThicknessColours.h"

#include <cmath>

#include "analysis/ThicknessOutput.h"
#include "meshprobe/Error.h"

namespace meshprobe {

std::vector<Rgba> thicknessColours(const std::vector<float>& perFace, float min, float max, float atMaxFrom,
                                   const Rgba& atMax)
{
    if (!std::isfinite(min) || !std::isfinite(max) || min > max)
        throw InputError("thickness window: min and max must be finite numbers with min <= max");
    // The analysis' own colour rule over the values, as its colour mode paints them; faces counted at max
    // (from atMaxFrom on) get the caller's colour instead.
    const float range = 1.0f / (max - min);
    std::vector<Rgba> colours(perFace.size());
    for (std::size_t f = 0; f < perFace.size(); ++f) {
        if (!(perFace[f] < atMaxFrom)) {
            colours[f] = atMax;
            continue;
        }
        Analysis::thicknessColour(perFace[f], min, max, range, Analysis::gradientRgb, colours[f].data());
        if (!(perFace[f] < max)) colours[f] = atMax;
    }
    return colours;
}

} // namespace meshprobe
