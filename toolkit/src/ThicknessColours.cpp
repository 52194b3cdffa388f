// SPDX-License-Identifier: MIT
// Colours from per-face thickness values: the steps of the analysis' colour mode, on values already measured.
#include "meshprobe/ThicknessColours.h"

#include <cmath>

#include "analysis/MeshAnalyzer.h"
#include "meshprobe/Error.h"

namespace meshprobe {

namespace {

/// The analysis' colour ramp (a protected member, open to derived classes).
class ColourRamp : private Analysis::MeshAnalyzer {
public:
    Rgba colour(float weight)
    {
        float rgb[3];
        weight_to_gradientRgb(rgb, weight);
        return {channelByte(rgb[0]), channelByte(rgb[1]), channelByte(rgb[2]), 255};
    }

private:
    /// A channel in [0, 1] as a byte, as the analysis' colour mode converts it.
    static std::uint8_t channelByte(float x)
    {
        if (x <= 0.0f) return 0;
        if (x > 0.998039186f) return 255;
        return static_cast<std::uint8_t>(x * 255.0f + 0.5f);
    }
};

} // namespace

std::vector<Rgba> thicknessColours(const std::vector<float>& perFace, float min, float max, float atMaxFrom,
                                   const Rgba& atMax)
{
    if (!std::isfinite(min) || !std::isfinite(max) || min > max)
        throw InputError("thickness window: min and max must be finite numbers with min <= max");
    // The same single-precision steps as the analysis' colour mode: w = (t - min) * (1 / (max - min)),
    // clamped to [0, 1].
    const float range = 1.0f / (max - min);
    ColourRamp ramp;
    std::vector<Rgba> colours(perFace.size());
    for (std::size_t f = 0; f < perFace.size(); ++f) {
        const float t = perFace[f];
        if (!(t < atMaxFrom) || !(t < max)) {
            colours[f] = atMax;
            continue;
        }
        float weight = (t - min) * range;
        weight = weight < 0.0f ? 0.0f : (weight < 1.0f ? weight : 1.0f);
        colours[f] = ramp.colour(weight);
    }
    return colours;
}

} // namespace meshprobe
