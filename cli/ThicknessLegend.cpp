// SPDX-License-Identifier: MIT
// Legend stops from MeshAnalyzer's gradient, so that the legend and the face colours come from one function.
// The toolkit has no colour function of its own yet; this is the one place the tool reaches the analysis
// library directly.
#include "cli/ThicknessLegend.h"

#include "meshprobe/ThicknessColours.h"

#include <cmath>

#include "analysis/MeshAnalyzer.h"

namespace cli {

namespace {

/// The gradient of the analysis' colour mode is protected: reached through a subclass.
class GradientColours : public Analysis::MeshAnalyzer {
public:
    std::array<std::uint8_t, 3> at(float weight)
    {
        float rgb[3];
        weight_to_gradientRgb(rgb, weight);
        // The colour mode rounds each channel to the nearest byte.
        return {static_cast<std::uint8_t>(std::lround(rgb[0] * 255.0f)),
                static_cast<std::uint8_t>(std::lround(rgb[1] * 255.0f)),
                static_cast<std::uint8_t>(std::lround(rgb[2] * 255.0f))};
    }
};

constexpr int maxHue = 150;

} // namespace

meshprobe::report::ThicknessLegend thicknessLegend(float min, float max)
{
    GradientColours colours;
    meshprobe::report::ThicknessLegend legend;
    // The colour mode turns weight (t - min) / (max - min) into hue int(weight * 150). Each stop is placed
    // where its hue begins and coloured from the middle of its band, so that float rounding at the band's
    // edge cannot give it its neighbour's hue.
    for (int hue = 0; hue <= maxHue; ++hue) {
        const double t = min + (double(max) - min) * hue / maxHue;
        const float weight = hue == maxHue ? 1.0f : (static_cast<float>(hue) + 0.5f) / maxHue;
        legend.stops.push_back({t, colours.at(weight)});
    }
    legend.noWallRgb = {meshprobe::noWallColour[0], meshprobe::noWallColour[1], meshprobe::noWallColour[2]};
    return legend;
}

} // namespace cli
