// SPDX-License-Identifier: MIT
// TriBoxOverlap against an exact clipping reference, plus hand-made touching and degenerate cases.
#include "host/mesh/TriBoxOverlap.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

namespace {

using Point = std::array<double, 3>;

// Reference: clip the triangle (as a polygon, possibly degenerate) against the six slabs of the box in
// double precision; a non-empty remainder means overlap.
bool clippedOverlap(const float center[3], const float half[3], const float tri[3][3], double grow)
{
    std::vector<Point> poly;
    for (int k = 0; k < 3; ++k)
        poly.push_back({tri[k][0], tri[k][1], tri[k][2]});
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side) {
            const double sign = side == 0 ? 1.0 : -1.0;
            const double limit = sign * (center[axis] + sign * (half[axis] + grow));
            auto inside = [&](const Point& p) { return sign * p[axis] <= limit; };
            std::vector<Point> out;
            for (std::size_t i = 0; i < poly.size(); ++i) {
                const Point& a = poly[i];
                const Point& b = poly[(i + 1) % poly.size()];
                if (inside(a)) out.push_back(a);
                if (inside(a) != inside(b)) {
                    const double t = (limit - sign * a[axis]) / (sign * b[axis] - sign * a[axis]);
                    Point c;
                    for (int q = 0; q < 3; ++q)
                        c[q] = a[q] + t * (b[q] - a[q]);
                    c[axis] = sign * limit;
                    out.push_back(c);
                }
            }
            poly = std::move(out);
            if (poly.empty()) return false;
        }
    return true;
}

TEST(TriBoxOverlap, AgreesWithClippingOnRandomPairs)
{
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> coord(-2.0f, 2.0f);
    std::uniform_real_distribution<float> size(0.05f, 1.0f);
    int decided = 0;
    int overlaps = 0;
    for (int n = 0; n < 20000; ++n) {
        const float center[3] = {coord(rng) * 0.5f, coord(rng) * 0.5f, coord(rng) * 0.5f};
        const float half[3] = {size(rng), size(rng), size(rng)};
        float tri[3][3];
        for (auto& corner : tri)
            for (float& c : corner)
                c = coord(rng);
        // Pairs within 1e-4 of touching are left to the hand-made cases below.
        const bool surely = clippedOverlap(center, half, tri, -1e-4);
        const bool maybe = clippedOverlap(center, half, tri, 1e-4);
        if (surely != maybe) continue;
        ++decided;
        overlaps += surely ? 1 : 0;
        ASSERT_EQ(TriBoxOverlap(center, half, tri) != 0, surely) << "pair " << n;
    }
    // Both outcomes must be well represented for the comparison to mean anything.
    EXPECT_GT(decided, 19000);
    EXPECT_GT(overlaps, 3000);
    EXPECT_LT(overlaps, decided - 3000);
}

struct Case {
    const char* name;
    float tri[3][3];
    bool overlap;
};

class TriBoxOverlapCases : public ::testing::TestWithParam<Case> {};

// All against the unit box [-1, 1]^3.
TEST_P(TriBoxOverlapCases, UnitBox)
{
    const float center[3] = {0, 0, 0};
    const float half[3] = {1, 1, 1};
    EXPECT_EQ(TriBoxOverlap(center, half, GetParam().tri) != 0, GetParam().overlap);
}

INSTANTIATE_TEST_SUITE_P(
    Touching, TriBoxOverlapCases,
    ::testing::Values(
        Case{"InFacePlane", {{1, -0.5f, -0.5f}, {1, 0.5f, -0.5f}, {1, 0, 0.5f}}, true},
        Case{"JustOutsideFacePlane", {{1.001f, -0.5f, -0.5f}, {1.001f, 0.5f, -0.5f}, {1.001f, 0, 0.5f}}, false},
        Case{"CornerOnCorner", {{1, 1, 1}, {3, 1, 1}, {1, 3, 1}}, true},
        Case{"EdgeAlongBoxEdge", {{1, 1, -3}, {1, 1, 3}, {3, 3, 0}}, true},
        Case{"EdgeOnLargeTriangle", {{-5, -5, 0.5f}, {5, -5, 0.5f}, {0, 5, 0.5f}}, true},
        Case{"EdgeOnPerpendicular", {{0, -5, -5}, {0, 5, -5}, {0, 0, -1}}, true},
        Case{"EdgeOnSeparatedByCrossAxis", {{1.6f, 0, -5}, {1.6f, 0, 5}, {3, 0, 0}}, false},
        Case{"DiagonalMissingCorner", {{2.05f, 0, -5}, {0, 2.05f, -5}, {0, 2.05f, 5}}, false},
        Case{"DiagonalClippingCorner", {{1.95f, 0, -5}, {0, 1.95f, -5}, {0, 1.95f, 5}}, true}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Degenerate, TriBoxOverlapCases,
    ::testing::Values(Case{"PointInside", {{0.2f, 0.3f, 0.4f}, {0.2f, 0.3f, 0.4f}, {0.2f, 0.3f, 0.4f}}, true},
                      Case{"PointOutside", {{1.2f, 0.3f, 0.4f}, {1.2f, 0.3f, 0.4f}, {1.2f, 0.3f, 0.4f}}, false},
                      Case{"SegmentThrough", {{-3, -3, -3}, {3, 3, 3}, {0, 0, 0}}, true},
                      // A segment whose bounding box meets the box but that passes beside the corner.
                      Case{"SegmentPastCorner", {{0.5f, 2.0f, 0}, {2.0f, 0.5f, 0}, {1.25f, 1.25f, 0}}, false},
                      Case{"SegmentTouchingCorner", {{0, 2, 1}, {2, 0, 1}, {1, 1, 1}}, true}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

} // namespace
