// SPDX-License-Identifier: MIT
// Tests of the jittered sample patterns and their relaxation passes.
#include "analysis/SamplePatterns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

using Analysis::SamplePoint;

namespace {

std::vector<SamplePoint> pattern(int n)
{
    std::vector<SamplePoint> points(static_cast<std::size_t>(n), SamplePoint{-7.0f, -7.0f});
    Analysis::jitterSamples(points.data(), n);
    return points;
}

/// Shortest distance between two points on the unit torus.
double torusDistance(const SamplePoint& a, const SamplePoint& b)
{
    double dx = std::fabs(static_cast<double>(a.x) - b.x);
    double dy = std::fabs(static_cast<double>(a.y) - b.y);
    dx = std::fmin(dx, 1.0 - dx);
    dy = std::fmin(dy, 1.0 - dy);
    return std::sqrt(dx * dx + dy * dy);
}

} // namespace

#if defined(__unix__)
// lrand48 returns the top 31 of the 48 state bits of the same generator, so it is an independent oracle.
TEST(Rand48, MatchesPosixGenerator)
{
    for (int seed : {0, 1, 31415927, 31415957, -5}) {
        Analysis::Rand48 random(seed);
        srand48(seed);
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(random.next(), static_cast<double>(lrand48()) / 2147483648.0) << "seed " << seed;
    }
}
#endif

TEST(SamplePatterns, SinglePointValue)
{
    const std::vector<SamplePoint> points = pattern(1);
    EXPECT_FLOAT_EQ(points[0].x, 0.068702340f);
    EXPECT_FLOAT_EQ(points[0].y, -0.33947706f);
}

TEST(SamplePatterns, ZeroCountWritesNothing)
{
    SamplePoint sentinel{3.0f, 4.0f};
    Analysis::jitterSamples(&sentinel, 0);
    EXPECT_EQ(sentinel.x, 3.0f);
    EXPECT_EQ(sentinel.y, 4.0f);
}

// Every count from 1 to 31: coordinates in the half-open centred square, the same bits on every call, and
// points spread out by the relaxation: no two closer than a quarter of the lattice spacing 1/sqrt(n) on the
// torus (a lost repulsion term or a wrong image offset clusters points).
TEST(SamplePatterns, EveryCountIsCentredRepeatableAndSpread)
{
    for (int n = 1; n < 32; ++n) {
        const std::vector<SamplePoint> points = pattern(n);
        const std::vector<SamplePoint> again = pattern(n);
        EXPECT_EQ(std::memcmp(points.data(), again.data(), points.size() * sizeof(SamplePoint)), 0) << n;
        const double spacing = 1.0 / std::sqrt(static_cast<double>(n));
        for (int i = 0; i < n; ++i) {
            const SamplePoint& p = points[static_cast<std::size_t>(i)];
            EXPECT_TRUE(p.x >= -0.5f && p.x < 0.5f && p.y >= -0.5f && p.y < 0.5f) << n << " point " << i;
            for (int j = i + 1; j < n; ++j)
                EXPECT_GT(torusDistance(p, points[static_cast<std::size_t>(j)]), 0.25 * spacing)
                    << n << ": " << i << ", " << j;
        }
    }
}

// One pass on two points: {x0, y0, x1, y1} before, the radius, and after.
struct RelaxCase {
    const char* name;
    bool radial;
    float radius;
    float before[4];
    double after[4];
};

// Radial: each point is pushed away from every neighbour image nearer than the radius by radius / 18, across
// the square's edge too (0.05 and 0.95 are 0.1 apart), and wrapped back into [0, 1). Axial: each axis on
// its own, offsets inside the radius add offset * radius, and the point moves by half of it.
TEST(SamplePatterns, RelaxationPasses)
{
    const double r = 0.5 / 18.0, e = 0.3 / 18.0;
    const RelaxCase cases[] = {
        {"radial", true, 0.5f, {0.5f, 0.5f, 0.7f, 0.5f}, {0.5 - r, 0.5, 0.7 + r, 0.5}},
        {"radial across the edge", true, 0.3f, {0.05f, 0.25f, 0.95f, 0.25f}, {0.05 + e, 0.25, 0.95 - e, 0.25}},
        {"radial wrap", true, 0.36f, {0.001f, 0.5f, 0.1f, 0.5f}, {1.001 - 0.02, 0.5, 0.1 + 0.02, 0.5}},
        {"axial", false, 0.2f, {0.5f, 0.5f, 0.6f, 0.55f}, {0.5 - 0.01, 0.5 - 0.005, 0.6 + 0.01, 0.55 + 0.005}},
        {"axial outside the radius", false, 0.1f, {0.2f, 0.2f, 0.6f, 0.25f}, {0.2, 0.2 - 0.0025, 0.6, 0.25 + 0.0025}},
    };
    for (const RelaxCase& c : cases) {
        SamplePoint points[2] = {{c.before[0], c.before[1]}, {c.before[2], c.before[3]}};
        SamplePoint scratch[2];
        (c.radial ? Analysis::relaxRadial : Analysis::relaxAxial)(points, scratch, 2, c.radius);
        const float after[4] = {points[0].x, points[0].y, points[1].x, points[1].y};
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(after[k], c.after[k], 1e-6) << c.name << " coordinate " << k;
    }
}
