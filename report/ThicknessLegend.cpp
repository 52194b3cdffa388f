// SPDX-License-Identifier: MIT
// Legend stops from the toolkit's thickness colours, so that the legend and the face colours come from one
// function.
#include "report/ThicknessLegend.h"

#include <vector>

#include "meshprobe/ThicknessColours.h"

namespace meshprobe::report {

namespace {

constexpr int maxHue = 150;

} // namespace

ThicknessLegend thicknessLegend(float min, float max)
{
    // The colour mode turns weight (t - min) / (max - min) into hue int(weight * 150). Each stop is placed
    // where its hue begins and coloured from the middle of its band, so that float
    // rounding at the band's edge cannot give it its neighbour's hue.
    std::vector<double> starts;
    std::vector<float> weights;
    for (int hue = 0; hue <= maxHue; ++hue) {
        starts.push_back(min + (double(max) - min) * hue / maxHue);
        const double weight = hue == maxHue ? 1.0 : (hue + 0.5) / maxHue;
        weights.push_back(static_cast<float>(weight));
    }
    // The colours depend on the weight alone: over the window [0, 1] a thickness is its weight, which also
    // gives a zero-width window its whole scale. The colour mode's own bytes, its end colour included.
    const std::vector<meshprobe::Rgba> colours =
        meshprobe::thicknessColours(weights, 0.0f, 1.0f, 1.0f, {0, 255, 128, 255});
    ThicknessLegend legend;
    for (std::size_t s = 0; s < starts.size(); ++s)
        legend.stops.push_back({starts[s], {colours[s][0], colours[s][1], colours[s][2]}});
    legend.noWallRgb = {meshprobe::noWallColour[0], meshprobe::noWallColour[1], meshprobe::noWallColour[2]};
    return legend;
}

} // namespace meshprobe::report
