// SPDX-License-Identifier: MIT
// Cavity solids from column triangles: closed, wound outward, enclosing exactly their voxels in every
// axis-aligned build direction, coplanar faces merged.
#include "report/CavitySolid.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Vec = std::array<double, 3>;

/// Columns as the trapped-volume analysis writes them, in a grid frame whose axes (x, y, z) map to model
/// axes: corner 0 at the run's lower face, corner 1 one edge along x at the top, corner 2 at the top.
struct Frame {
    Vec x, y, z; // y = z × x
};

void addColumn(std::vector<float>& v, std::vector<std::uint32_t>& t, const Frame& f, double edge, int i, int j, int k0,
               int k1)
{
    auto put = [&](double a, double b, double c) {
        t.push_back(std::uint32_t(v.size() / 3));
        for (int m = 0; m < 3; ++m)
            v.push_back(float(5.0 + edge * (a * f.x[m] + b * f.y[m] + c * f.z[m])));
    };
    put(i, j, k0);
    put(i + 1, j, k1);
    put(i, j, k1);
}

/// Signed volume (divergence theorem) measured from a given origin. A closed surface gives the same value
/// from every origin; a surface with a hole does not.
double volumeFrom(const meshprobe::report::ReportMesh& m, const Vec& origin)
{
    double volume = 0;
    for (std::size_t f = 0; f < m.triangles.size(); f += 3) {
        Vec p[3];
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                p[c][k] = m.vertices[3 * m.triangles[f + c] + k] - origin[k];
        volume +=
            (p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) - p[0][1] * (p[1][0] * p[2][2] - p[1][2] * p[2][0]) +
             p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0])) /
            6.0;
    }
    return volume;
}

// An L of voxels seen from above, two layers high, one column three high, and a lone voxel above:
//   k=0,1:  #.     k=2: ..     k=5: .#      (rows j = 1, 0; columns i = 0, 1)
//           ##          #.          ..
// Eight voxels whose surface has concave edges and a step.
TEST(CavitySolid, ClosedOutwardAndExactInEveryBuildDirection)
{
    const double edge = 0.25;
    const Frame frames[] = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{1, 0, 0}, {0, -1, 0}, {0, 0, -1}},
                            {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, -1, 0}, {0, 0, 1}, {-1, 0, 0}},
                            {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}}};
    for (const Frame& f : frames) {
        std::vector<float> v;
        std::vector<std::uint32_t> t;
        addColumn(v, t, f, edge, 0, 0, 0, 3);
        addColumn(v, t, f, edge, 1, 0, 0, 2);
        addColumn(v, t, f, edge, 0, 1, 0, 2);
        addColumn(v, t, f, edge, 1, 1, 5, 6); // a separate voxel higher up: still counted, still closed
        const meshprobe::report::CavitySolid solid = meshprobe::report::cavitySolid(v, t, edge);
        EXPECT_EQ(solid.voxels, 8u);
        // Exact and positive (wound outward) from two origins: closed, no face missing or doubled.
        EXPECT_NEAR(volumeFrom(solid.surface, {0, 0, 0}), 8 * edge * edge * edge, 1e-9);
        EXPECT_NEAR(volumeFrom(solid.surface, {7, -3, 11}), 8 * edge * edge * edge, 1e-9);
        // Voxel centres sum to (7, 7, 14) voxels in the grid frame: the mean is (0.875, 0.875, 1.75).
        for (int m = 0; m < 3; ++m)
            EXPECT_NEAR(solid.centroid[m], 5.0 + edge * (0.875 * f.x[m] + 0.875 * f.y[m] + 1.75 * f.z[m]), 1e-6);
    }
}

TEST(CavitySolid, CoplanarFacesMergeIntoOneRectangleEach)
{
    // A 3 x 3 x 3 block, built from nine columns: six sides of nine voxel faces each become six rectangles.
    const Frame f{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    std::vector<float> v;
    std::vector<std::uint32_t> t;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            addColumn(v, t, f, 1.0, i, j, 0, 3);
    const meshprobe::report::CavitySolid solid = meshprobe::report::cavitySolid(v, t, 1.0);
    EXPECT_EQ(solid.voxels, 27u);
    EXPECT_EQ(solid.surface.triangles.size(), 6u * 2 * 3);
    EXPECT_EQ(solid.surface.vertices.size(), 8u * 3);
    EXPECT_NEAR(volumeFrom(solid.surface, {-1, 2, 0.5}), 27.0, 1e-9);
}

TEST(CavitySolid, NoColumnsGiveAnEmptySolid)
{
    const meshprobe::report::CavitySolid solid = meshprobe::report::cavitySolid({}, {}, 0.5);
    EXPECT_EQ(solid.voxels, 0u);
    EXPECT_TRUE(solid.surface.triangles.empty());
}

} // namespace
