// SPDX-License-Identifier: MIT
// Analysis::MeshAnalyzer's colour ramps as a caller sees them, measured with QColor's own HSV conversion,
// and its float fill.
#include "analysis/MeshAnalyzer.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cmath>
#include <limits>

namespace {

/// Opens the protected colour members to the tests.
struct ColorProbe : Analysis::MeshAnalyzer {
    using MeshAnalyzer::copy_vn_fl;
    using MeshAnalyzer::weight_to_gradientRgb;
    using MeshAnalyzer::weight_to_rgb;
};

constexpr float nanWeight = std::numeric_limits<float>::quiet_NaN();
constexpr float infWeight = std::numeric_limits<float>::infinity();

QColor gradient(float weight)
{
    float rgb[3] = {-1.0f, -1.0f, -1.0f};
    ColorProbe().weight_to_gradientRgb(rgb, weight);
    for (float channel : rgb)
        EXPECT_TRUE(channel >= 0.0f && channel <= 1.0f) << "weight " << weight << ": channel " << channel;
    return QColor::fromRgbF(rgb[0], rgb[1], rgb[2]);
}

QColor bands(float weight, float rgb[3])
{
    rgb[0] = rgb[1] = rgb[2] = -1.0f;
    ColorProbe().weight_to_rgb(rgb, weight);
    return QColor::fromRgbF(rgb[0], rgb[1], rgb[2]);
}

} // namespace

// The thickness ramp: hue in whole degrees, 0 (red) at weight 0 to 150 (green towards cyan) at weight 1, at
// full saturation and value: the colour QColor gives for that hue, channel for channel.
TEST(ThicknessGradient, IsQColorsHueFromRedAtZeroTo150AtOne)
{
    for (int step = 0; step <= 300; ++step) {
        const float weight = static_cast<float>(step) / 300.0f;
        const QColor expected = QColor::fromHsv(static_cast<int>(std::floor(weight * 150.0)), 255, 255);
        const QColor got = gradient(weight);
        EXPECT_EQ(got.rgb(), expected.rgb()) << "weight " << weight;
        EXPECT_EQ(got.hsvSaturation(), 255) << "weight " << weight;
        EXPECT_EQ(got.value(), 255) << "weight " << weight;
    }
    EXPECT_EQ(gradient(0.0f).rgb(), QColor(Qt::red).rgb());
    EXPECT_EQ(gradient(1.0f).hsvHue(), 150);
    EXPECT_EQ(gradient(0.999f).rgb(), QColor::fromHsv(149, 255, 255).rgb()); // whole degrees, cut towards red
}

// Along the window the hue never turns back.
TEST(ThicknessGradient, HueRisesMonotonically)
{
    int previous = 0;
    for (int step = 0; step <= 1000; ++step) {
        const int hue = gradient(static_cast<float>(step) / 1000.0f).hsvHue();
        EXPECT_GE(hue, previous) << "step " << step;
        previous = hue;
    }
}

// Beyond the window the ramp holds its end colours: above 1 as at 1; below 0 and NaN as at 0.
TEST(ThicknessGradient, WeightsBeyondTheWindowKeepTheEndColours)
{
    for (float above : {1.0001f, 2.0f, 100.0f, infWeight})
        EXPECT_EQ(gradient(above).rgb(), gradient(1.0f).rgb()) << above;
    for (float below : {-1e-6f, -0.5f, -infWeight, nanWeight})
        EXPECT_EQ(gradient(below).rgb(), QColor(Qt::red).rgb()) << below;
}

// The four-band ramp: blue, cyan, green, yellow, red at weights 0, 1/4, 1/2, 3/4, 1: the hue falls linearly
// from 240 to 0 degrees and the brightness (the largest channel) rises from 1/2 to 1.
TEST(BandRamp, HueFallsFrom240To0AsBrightnessRisesFromHalfToFull)
{
    for (int step = 0; step <= 400; ++step) {
        const float weight = static_cast<float>(step) / 400.0f;
        float rgb[3];
        const QColor got = bands(weight, rgb);
        EXPECT_NEAR(std::max({rgb[0], rgb[1], rgb[2]}), 0.5f + weight / 2.0f, 1e-6f) << "weight " << weight;
        EXPECT_NEAR(got.hsvHueF() * 360.0, 240.0 * (1.0 - weight), 0.05) << "weight " << weight;
        EXPECT_EQ(std::min({rgb[0], rgb[1], rgb[2]}), 0.0f) << "weight " << weight; // full saturation
    }
}

// Above 1 and NaN are out of range: magenta, whatever the weight.
TEST(BandRamp, OutOfRangeWeightsAreMagenta)
{
    for (float weight : {1.0001f, 3.0f, infWeight, nanWeight}) {
        float rgb[3];
        bands(weight, rgb);
        EXPECT_EQ(rgb[0], 1.0f) << weight;
        EXPECT_EQ(rgb[1], 0.0f) << weight;
        EXPECT_EQ(rgb[2], 1.0f) << weight;
    }
}

// The fill sets the first `count` values and leaves the others, and a count of zero or less sets none.
TEST(CopyVnFl, SetsExactlyTheFirstCountValues)
{
    for (int count : {-1, 0, 1, 3, 4}) {
        float values[4] = {1.0f, 2.0f, 3.0f, 4.0f};
        ColorProbe().copy_vn_fl(values, count, -1.5f);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(values[i], i < count ? -1.5f : static_cast<float>(i + 1)) << "count " << count << ", value " << i;
    }
}
