// SPDX-License-Identifier: MIT
// Build directions: parsing, the rotation to +z and the candidate sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <cmath>

#include "meshprobe/Error.h"
#include "meshprobe/Orientation.h"

namespace {

TEST(Direction, ParsesAxesAndVectorsAndRejectsTheRest)
{
    EXPECT_EQ(meshprobe::parseDirection("-z"), (meshprobe::Direction{0, 0, -1}));
    EXPECT_EQ(meshprobe::parseDirection(" 0, 0,-2 "), (meshprobe::Direction{0, 0, -1}));
    const meshprobe::Direction d = meshprobe::parseDirection("0,0.2,1");
    EXPECT_NEAR(d[1], 0.2 / std::sqrt(1.04), 1e-15);
    EXPECT_EQ(meshprobe::parseDirection(meshprobe::formatDirection(d)), meshprobe::parseDirection("0,0.1961,0.9806"));
    for (const char* bad : {"", "z", "1,2", "1,2,3,4", "a,b,c", "0,0,0", "1,nan,0", "1e999,0,0"})
        EXPECT_THROW(meshprobe::parseDirection(bad), meshprobe::InputError) << bad;
    EXPECT_THROW(meshprobe::printerPreset("sla"), meshprobe::InputError);
    EXPECT_EQ(meshprobe::printerPreset("bottom-up-resin").up, (meshprobe::Direction{0, 0, -1}));
}

TEST(Direction, RotationTakesUpToPlusZAndKeepsHandedness)
{
    for (const char* text : {"+z", "-z", "+x", "-x", "+y", "-y", "0,0.2,1", "1,1,1", "-1,0.5,-3", "0,1e-9,-1"}) {
        const meshprobe::Direction up = meshprobe::parseDirection(text);
        const meshprobe::Rotation r = meshprobe::rotationTakingToZ(up);
        const auto z = r.apply(up);
        EXPECT_NEAR(z[0], 0, 1e-12) << text;
        EXPECT_NEAR(z[1], 0, 1e-12) << text;
        EXPECT_NEAR(z[2], 1, 1e-12) << text;
        const auto& m = r.m;
        const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                           m[2] * (m[3] * m[7] - m[4] * m[6]);
        EXPECT_NEAR(det, 1, 1e-12) << text;
        const auto back = r.applyInverse(z);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(back[k], up[k], 1e-12) << text;
        // The shortest arc turns about up x z, so that axis stays where it is (a turn about z first would not).
        const std::array<double, 3> axis{up[1], -up[0], 0.0};
        const auto turned = r.apply(axis);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(turned[k], axis[k], 1e-12) << text;
    }
}

// N directions spread over the whole sphere as caps of equal area would be: a cap of area 4π / N has the
// angular radius r = acos(1 - 2 / N). No two directions lie closer than r (none clumped), every direction of
// a random probe lies within 1.6 r of one of them (no region left out) and they balance out (no hemisphere
// favoured). The named sets (the axes, and the axes with a cube's edges and corners) hold the same.
TEST(Direction, CandidateSetsSpreadOverTheWholeSphere)
{
    std::mt19937 random(11);
    std::normal_distribution<double> normal;
    std::vector<meshprobe::Direction> probes(4000);
    for (auto& p : probes) {
        p = {normal(random), normal(random), normal(random)};
        const double length = std::hypot(p[0], p[1], p[2]);
        for (double& c : p)
            c /= length;
    }
    auto angle = [](const meshprobe::Direction& a, const meshprobe::Direction& b) {
        return std::acos(std::clamp(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], -1.0, 1.0));
    };
    for (int count : {6, 26, 7, 100, 1000}) {
        const auto set = meshprobe::candidateDirections(count);
        ASSERT_EQ(set.size(), std::size_t(count));
        const double capRadius = std::acos(1.0 - 2.0 / count);
        double closest = M_PI, farthest = 0, sum[3] = {0, 0, 0};
        for (std::size_t i = 0; i < set.size(); ++i) {
            EXPECT_NEAR(std::hypot(set[i][0], set[i][1], set[i][2]), 1, 1e-12);
            for (int k = 0; k < 3; ++k)
                sum[k] += set[i][k];
            for (std::size_t j = 0; j < i; ++j)
                closest = std::min(closest, angle(set[i], set[j]));
        }
        for (const auto& p : probes) {
            double nearest = M_PI;
            for (const auto& d : set)
                nearest = std::min(nearest, angle(p, d));
            farthest = std::max(farthest, nearest);
        }
        EXPECT_GT(closest, capRadius) << count;
        EXPECT_LT(farthest, 1.6 * capRadius) << count;
        EXPECT_LT(std::hypot(sum[0], sum[1], sum[2]), 0.1 * count) << count;
    }
    EXPECT_EQ(meshprobe::candidateDirections(1), (std::vector<meshprobe::Direction>{{0, 0, 1}}));
}

} // namespace
