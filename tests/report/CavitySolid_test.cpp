// SPDX-License-Identifier: MIT
// Cavity solids from column triangles: closed, manifold, wound outward, enclosing exactly their voxels, in
// every axis-aligned build direction.
#include "report/CavitySolid.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <utility>

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

/// Signed volume (divergence theorem) and the edges used other than exactly once in each direction.
std::pair<double, int> volumeAndBadEdges(const meshprobe::report::ReportMesh& m)
{
    double volume = 0;
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> directed;
    for (std::size_t f = 0; f < m.triangles.size(); f += 3) {
        const float* p[3];
        for (int c = 0; c < 3; ++c)
            p[c] = &m.vertices[3 * m.triangles[f + c]];
        volume += (double(p[0][0]) * (double(p[1][1]) * p[2][2] - double(p[1][2]) * p[2][1]) -
                   double(p[0][1]) * (double(p[1][0]) * p[2][2] - double(p[1][2]) * p[2][0]) +
                   double(p[0][2]) * (double(p[1][0]) * p[2][1] - double(p[1][1]) * p[2][0])) /
                  6.0;
        for (int c = 0; c < 3; ++c)
            ++directed[{m.triangles[f + c], m.triangles[f + (c + 1) % 3]}];
    }
    int bad = 0;
    for (const auto& [edge, count] : directed)
        if (count != 1 || directed.count({edge.second, edge.first}) == 0 || directed.at({edge.second, edge.first}) != 1)
            ++bad;
    return {volume, bad};
}

// An L of voxels seen from above, two layers high, one column three high, and a lone voxel above:
//   k=0,1:  #.     k=2: ..     k=5: .#      (rows j = 1, 0; columns i = 0, 1)
//           ##          #.          ..
// Eight voxels whose surface has concave edges and a step; every edge must pair up exactly once.
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
        const auto [volume, badEdges] = volumeAndBadEdges(solid.surface);
        EXPECT_NEAR(volume, 8 * edge * edge * edge, 1e-9) << "positive: wound outward";
        EXPECT_EQ(badEdges, 0);
        // Voxel centres sum to (7, 7, 14) voxels in the grid frame: the mean is (0.875, 0.875, 1.75).
        for (int m = 0; m < 3; ++m)
            EXPECT_NEAR(solid.centroid[m], 5.0 + edge * (0.875 * f.x[m] + 0.875 * f.y[m] + 1.75 * f.z[m]), 1e-6);
    }
}

TEST(CavitySolid, NoColumnsGiveAnEmptySolid)
{
    const meshprobe::report::CavitySolid solid = meshprobe::report::cavitySolid({}, {}, 0.5);
    EXPECT_EQ(solid.voxels, 0u);
    EXPECT_TRUE(solid.surface.triangles.empty());
}

} // namespace
