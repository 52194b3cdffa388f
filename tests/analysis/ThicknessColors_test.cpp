// SPDX-License-Identifier: MIT
// Analysis::MeshAnalyzer's colour ramps at their band ends and in between, and its float fill.
#include "analysis/MeshAnalyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

/// Opens the protected colour members to the tests.
struct ColorProbe : Analysis::MeshAnalyzer {
    using MeshAnalyzer::copy_vn_fl;
    using MeshAnalyzer::weight_to_gradientRgb;
    using MeshAnalyzer::weight_to_rgb;
};

struct RgbCase {
    float weight;
    float r, g, b;
};

} // namespace

class WeightToRgb : public ::testing::TestWithParam<RgbCase> {};

// The band ends are exact in single precision (brightness 0.5 + w / 2 times multiples of 0.25).
TEST_P(WeightToRgb, BandValues)
{
    const RgbCase c = GetParam();
    ColorProbe probe;
    float rgb[3] = {-1.0f, -1.0f, -1.0f};
    probe.weight_to_rgb(rgb, c.weight);
    EXPECT_FLOAT_EQ(rgb[0], c.r);
    EXPECT_FLOAT_EQ(rgb[1], c.g);
    EXPECT_FLOAT_EQ(rgb[2], c.b);
}

INSTANTIATE_TEST_SUITE_P(Table, WeightToRgb,
                         ::testing::Values(RgbCase{0.0f, 0.0f, 0.0f, 0.5f}, RgbCase{0.25f, 0.0f, 0.625f, 0.625f},
                                           RgbCase{0.5f, 0.0f, 0.75f, 0.0f}, RgbCase{0.75f, 0.875f, 0.875f, 0.0f},
                                           RgbCase{1.0f, 1.0f, 0.0f, 0.0f}, RgbCase{1.5f, 1.0f, 0.0f, 1.0f},
                                           // mid-band: w = 0.375, b = 0.6875, blue = (1 - 0.5) * b
                                           RgbCase{0.375f, 0.0f, 0.6875f, 0.34375f},
                                           // w = 0.875, b = 0.9375, green = (1 - 0.5) * b
                                           RgbCase{0.875f, 0.9375f, 0.46875f, 0.0f},
                                           // NaN matches no band: magenta
                                           RgbCase{std::numeric_limits<float>::quiet_NaN(), 1.0f, 0.0f, 1.0f}));

class WeightToGradientRgb : public ::testing::TestWithParam<RgbCase> {};

// Channel values come from 8-bit QColor channels, so a tolerance of one step (1/255) is the precision of
// the hue ramp where a channel lies between 0 and 1; full and empty channels are exact. The expectations
// are the HSV formulas for full saturation and value.
TEST_P(WeightToGradientRgb, HueRamp)
{
    const RgbCase c = GetParam();
    ColorProbe probe;
    float rgb[3];
    probe.weight_to_gradientRgb(rgb, c.weight);
    const float expected[3] = {c.r, c.g, c.b};
    for (int k = 0; k < 3; ++k) {
        if (expected[k] == 0.0f || expected[k] == 1.0f)
            EXPECT_EQ(rgb[k], expected[k]) << "channel " << k;
        else
            EXPECT_NEAR(rgb[k], expected[k], 1.0 / 255.0) << "channel " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WeightToGradientRgb,
    ::testing::Values(RgbCase{0.0f, 1.0f, 0.0f,
                              0.0f}, // hue 0: pure red
                                     // hue 75, between yellow (60) and green (120): red (120 - 75) / 60
                      RgbCase{0.5f, 0.75f, 1.0f, 0.0f},
                      // hue 150, halfway from green (120) to cyan (180)
                      RgbCase{1.0f, 0.0f, 1.0f, 0.5f},
                      // above 1: hue 150 as at 1; 0.999 truncates to hue 149, not 150
                      RgbCase{1.0001f, 0.0f, 1.0f, 0.5f}, RgbCase{100.0f, 0.0f, 1.0f, 0.5f},
                      RgbCase{0.999f, 0.0f, 1.0f, 29.0f / 60.0f},
                      // NaN is treated as 0
                      RgbCase{std::numeric_limits<float>::quiet_NaN(), 1.0f, 0.0f, 0.0f}));

// Whatever the count, exactly the first `count` values take the value and the rest keep theirs.
TEST(CopyVnFl, FillsTheFirstCountValuesOnly)
{
    ColorProbe probe;
    for (int count = 0; count <= 4; ++count) {
        float values[4] = {1.0f, 2.0f, 3.0f, 4.0f};
        probe.copy_vn_fl(values, count, -1.5f);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(values[i], i < count ? -1.5f : static_cast<float>(i + 1)) << "count " << count << ", value " << i;
    }
}
