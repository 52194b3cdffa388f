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

class SamplePatternCount : public ::testing::TestWithParam<int> {};

TEST_P(SamplePatternCount, CoordinatesInHalfOpenCentredSquare)
{
    for (const SamplePoint& p : pattern(GetParam())) {
        EXPECT_GE(p.x, -0.5f);
        EXPECT_LT(p.x, 0.5f);
        EXPECT_GE(p.y, -0.5f);
        EXPECT_LT(p.y, 0.5f);
    }
}

TEST_P(SamplePatternCount, RepeatedCallsAreBitIdentical)
{
    const int n = GetParam();
    const std::vector<SamplePoint> first = pattern(n);
    const std::vector<SamplePoint> second = pattern(n);
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(SamplePoint)), 0);
}

// Relaxation must leave the points spread out: no two closer than a quarter of the lattice spacing
// 1/sqrt(n) on the torus (a lost repulsion term or a wrong image offset clusters points).
TEST_P(SamplePatternCount, PointsAreSpreadOnTheTorus)
{
    const int n = GetParam();
    const std::vector<SamplePoint> points = pattern(n);
    const double spacing = 1.0 / std::sqrt(static_cast<double>(n));
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            EXPECT_GT(torusDistance(points[i], points[j]), 0.25 * spacing) << "points " << i << ", " << j;
}

INSTANTIATE_TEST_SUITE_P(Counts, SamplePatternCount, ::testing::Range(1, 32));

// Two points 0.2 apart with radius 0.5: only the direct image is nearer than the radius, and each point
// is pushed away from the other by radius / 18.
TEST(RelaxRadial, PushesNeighboursApartByRadiusOverEighteen)
{
    SamplePoint points[2] = {{0.5f, 0.5f}, {0.7f, 0.5f}};
    SamplePoint scratch[2];
    Analysis::relaxRadial(points, scratch, 2, 0.5f);
    const double push = 0.5 / 18.0;
    EXPECT_NEAR(points[0].x, 0.5 - push, 1e-6);
    EXPECT_NEAR(points[1].x, 0.7 + push, 1e-6);
    EXPECT_EQ(points[0].y, 0.5f);
    EXPECT_EQ(points[1].y, 0.5f);
}

// Neighbours across the square's edge are neighbours on the torus: 0.05 and 0.95 are 0.1 apart and are
// pushed outward across the edge, not towards each other through the middle.
TEST(RelaxRadial, RepelsAcrossThePeriodicEdge)
{
    SamplePoint points[2] = {{0.05f, 0.25f}, {0.95f, 0.25f}};
    SamplePoint scratch[2];
    Analysis::relaxRadial(points, scratch, 2, 0.3f);
    const double push = 0.3 / 18.0;
    EXPECT_NEAR(points[0].x, 0.05 + push, 1e-6);
    EXPECT_NEAR(points[1].x, 0.95 - push, 1e-6);
}

// A push that leaves the square wraps back into [0, 1).
TEST(RelaxRadial, WrapsMovedPointsIntoUnitSquare)
{
    SamplePoint points[2] = {{0.001f, 0.5f}, {0.1f, 0.5f}};
    SamplePoint scratch[2];
    Analysis::relaxRadial(points, scratch, 2, 0.36f);
    EXPECT_NEAR(points[0].x, 1.001 - 0.02, 1e-6);
}

// Axial pass: x and y offsets inside the radius add offset * radius, and the point moves by half of it.
TEST(RelaxAxial, PushesEachAxisSeparately)
{
    SamplePoint points[2] = {{0.5f, 0.5f}, {0.6f, 0.55f}};
    SamplePoint scratch[2];
    Analysis::relaxAxial(points, scratch, 2, 0.2f);
    EXPECT_NEAR(points[0].x, 0.5 - 0.1 * 0.2 * 0.5, 1e-6);
    EXPECT_NEAR(points[1].x, 0.6 + 0.1 * 0.2 * 0.5, 1e-6);
    EXPECT_NEAR(points[0].y, 0.5 - 0.05 * 0.2 * 0.5, 1e-6);
    EXPECT_NEAR(points[1].y, 0.55 + 0.05 * 0.2 * 0.5, 1e-6);
}

// Offsets not below the radius on an axis leave that axis alone.
TEST(RelaxAxial, IgnoresOffsetsOutsideRadius)
{
    SamplePoint points[2] = {{0.2f, 0.2f}, {0.6f, 0.25f}};
    SamplePoint scratch[2];
    Analysis::relaxAxial(points, scratch, 2, 0.1f);
    EXPECT_EQ(points[0].x, 0.2f);
    EXPECT_EQ(points[1].x, 0.6f);
    EXPECT_NEAR(points[0].y, 0.2 - 0.05 * 0.1 * 0.5, 1e-6);
}
