// SPDX-License-Identifier: MIT
// Phase 1: surface voxels by box scan and by triangle flood.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/trapvolume/CellSolid.h"
#include "tests/trapvolume/TrapTestSupport.h"

using traptest::Placed;

namespace {

// The closed box [0, 15.998]^3 on 16 voxels marks exactly the outer layer: 16^3 - 14^3 voxels.
TEST(SurfaceVoxelizer, ClosedBoxMarksItsOuterLayerOnly)
{
    traptest::TeamSize team(2);
    Placed placed(testmesh::gridBox(0, 0, 0, trapmesh::kFar, trapmesh::kFar, trapmesh::kFar, 3));
    VoxelizerTrapVolumePrivate grid(16, &placed.kernel);
    grid.voxelizeSurface(2, {});
    EXPECT_EQ(traptest::setBitCount(grid.occupiedBits, grid), 16 * 16 * 16 - 14 * 14 * 14);
    EXPECT_TRUE(traptest::bitAt(grid.occupiedBits, grid, 0, 7, 7));
    EXPECT_TRUE(traptest::bitAt(grid.occupiedBits, grid, 15, 15, 15));
    EXPECT_FALSE(traptest::bitAt(grid.occupiedBits, grid, 1, 1, 1));
    EXPECT_EQ(traptest::setBitCount(grid.reachedBits, grid), 0);
}

// A triangle in the middle of one voxel (the frame's far corner only sets the grid) marks that voxel alone.
TEST(SurfaceVoxelizer, TriangleInsideOneVoxelMarksThatVoxel)
{
    testmesh::Soup soup;
    soup.positions = {0,    0,    0,    9.998f, 9.998f, 9.998f, 9.998f, 9.998f, 9.99f, // frame sliver in voxel 9
                      4.2f, 5.3f, 6.1f, 4.8f,   5.3f,   6.1f,   4.5f,   5.7f,   6.6f};
    soup.indices = {3, 4, 5};
    Placed placed(soup);
    VoxelizerTrapVolumePrivate grid(10, &placed.kernel);
    grid.voxelizeSurface(1, {});
    EXPECT_EQ(traptest::setBitCount(grid.occupiedBits, grid), 1);
    EXPECT_TRUE(traptest::bitAt(grid.occupiedBits, grid, 4, 5, 6));
}

// A triangle spanning at least 100 voxels on every axis is flooded from its first corner; the flood must find
// every voxel that the exact overlap test accepts (the touched voxels of a triangle are face-connected).
TEST(SurfaceVoxelizer, LargeTriangleFloodMatchesBruteForce)
{
    testmesh::Soup soup;
    soup.positions = {0.3f, 0.2f, 0.1f, 127.6f, 20.4f, 110.7f, 10.5f, 126.9f, 125.2f};
    soup.indices = {0, 1, 2};
    Placed placed(soup);
    VoxelizerTrapVolumePrivate grid(128, &placed.kernel);
    grid.voxelizeSurface(1, {});

    float triangle[3][3];
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            triangle[c][k] = static_cast<float>(grid.vertices.get()[c][k]);
    const float half[3] = {static_cast<float>((*grid.halfVoxel)[0]), static_cast<float>((*grid.halfVoxel)[1]),
                           static_cast<float>((*grid.halfVoxel)[2])};
    long expected = 0;
    long mismatches = 0;
    for (int x = 0; x < 128; ++x)
        for (int y = 0; y < 128; ++y)
            for (int z = 0; z < 128; ++z) {
                const auto corner = grid.voxelCorner(UVector3<double>(x, y, z));
                float centre[3];
                for (int k = 0; k < 3; ++k)
                    centre[k] = static_cast<float>((*corner)[k] + (*grid.halfVoxel)[k]);
                const bool touches = TriBoxOverlap(centre, half, triangle) != 0;
                expected += touches ? 1 : 0;
                mismatches += touches != traptest::bitAt(grid.occupiedBits, grid, x, y, z) ? 1 : 0;
            }
    EXPECT_GT(expected, 10000);
    EXPECT_EQ(mismatches, 0);
}

// The box path's result depends on nothing but the triangles: on one and on two threads (the pass takes the
// triangles slab by slab, not in stored order) the bits equal a voxel-by-voxel scan of every triangle's range,
// with each box corner formed as the grid describes it (corner - 1e-5, padded half size), on a soup whose
// small triangles share words.
// Every voxel of every stored triangle's own range tested, in the stored order: the marks the box path must
// give, however it orders the triangles or forms their ranges.
std::vector<bool> voxelByVoxelMarks(const VoxelizerTrapVolumePrivate& grid)
{
    const int n = static_cast<int>(grid.resolution);
    std::vector<bool> expected(static_cast<std::size_t>(n) * n * n, false);
    const float half[3] = {static_cast<float>((*grid.halfVoxelPadded)[0]),
                           static_cast<float>((*grid.halfVoxelPadded)[1]),
                           static_cast<float>((*grid.halfVoxelPadded)[2])};
    for (int face = 0; face < grid.faceCount; ++face) {
        UVector3<double> p[3];
        for (int c = 0; c < 3; ++c)
            p[c] = grid.vertices.get()[static_cast<int>(grid.faces.get()[face][c])];
        float triangle[3][3];
        UVector3<double> low = p[0], high = p[0];
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) {
                triangle[c][k] = static_cast<float>(p[c][k]);
                low[k] = std::min(low[k], p[c][k]);
                high[k] = std::max(high[k], p[c][k]);
            }
        const auto lo = grid.toVoxelCoord(low);
        const auto hi = grid.toVoxelCoord(high);
        for (int x = static_cast<int>((*lo)[0]); x <= static_cast<int>((*hi)[0]); ++x)
            for (int y = static_cast<int>((*lo)[1]); y <= static_cast<int>((*hi)[1]); ++y)
                for (int z = static_cast<int>((*lo)[2]); z <= static_cast<int>((*hi)[2]); ++z) {
                    const auto corner = grid.voxelCorner(UVector3<double>(x, y, z));
                    float centre[3];
                    for (int k = 0; k < 3; ++k)
                        centre[k] = static_cast<float>((*corner)[k] - 1e-5 + (*grid.halfVoxelPadded)[k]);
                    if (TriBoxOverlap(centre, half, triangle) != 0)
                        expected[(static_cast<std::size_t>(x) * n + y) * n + z] = true;
                }
    }
    return expected;
}

// A sphere with loose triangles scattered through it, or with corners on voxel planes (within a rounding of
// the plane, on either side), where a range formed from the corners' own voxels would first go wrong.
testmesh::Soup sphereWithLooseTriangles(bool onVoxelPlanes, int n)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(0.0f, 20.0f);
    std::uniform_real_distribution<float> offset(-1.5f, 1.5f);
    std::uniform_int_distribution<int> plane(2, n - 3);
    testmesh::Soup soup = testmesh::sphere(10, 10, 10, 9, 24, 32);
    // The loose triangles stay inside the sphere's box, so the grid is that of the sphere alone.
    Placed sphereAlone(soup);
    const VoxelizerTrapVolumePrivate frame(n, &sphereAlone.kernel);
    auto onPlane = [&](int k) {
        const double at = frame.voxelCornerOnAxis(k, plane(random));
        return std::nextafter(static_cast<float>(at), random() % 2 ? 0.0f : 30.0f);
    };
    for (int t = 0; t < 400; ++t) {
        const auto base = static_cast<std::uint32_t>(soup.positions.size() / 3);
        const float cx = coordinate(random), cy = coordinate(random), cz = coordinate(random);
        for (int c = 0; c < 3; ++c)
            if (onVoxelPlanes)
                soup.positions.insert(soup.positions.end(), {onPlane(0), onPlane(1), onPlane(2)});
            else
                soup.positions.insert(soup.positions.end(),
                                      {cx + offset(random), cy + offset(random), cz + offset(random)});
        soup.indices.insert(soup.indices.end(), {base, base + 1, base + 2});
    }
    return soup;
}

TEST(SurfaceVoxelizer, BoxPathEqualsAVoxelByVoxelScanOnAnyThreadCount)
{
    const UMatrix4<float> placement =
        UMatrix4<float>::scaling(1.5f, 0.75f, 1.0f) * UMatrix4<float>::translation(-30, 4, 1e3f);
    struct Case {
        const char* name;
        bool onVoxelPlanes;
        UMatrix4<float> matrix;
    };
    const int n = 48;
    for (const Case& c : {Case{"scattered", false, {}}, Case{"on voxel planes", true, {}},
                          Case{"scattered, placed", false, placement}}) {
        Placed placed(sphereWithLooseTriangles(c.onVoxelPlanes, n), c.matrix);
        for (int threads = 1; threads <= 2; ++threads) {
            traptest::TeamSize team(threads);
            VoxelizerTrapVolumePrivate grid(n, &placed.kernel);
            grid.voxelizeSurface(threads, {});
            const std::vector<bool> expected = voxelByVoxelMarks(grid);
            long mismatches = 0;
            for (std::uint32_t i = 0; i < expected.size(); ++i)
                mismatches += expected[i] != meshprobe::trap::testBit(grid.occupiedBits.get(), i) ? 1 : 0;
            EXPECT_GT(std::count(expected.begin(), expected.end(), true), 3000) << c.name;
            EXPECT_EQ(mismatches, 0) << c.name << ", " << threads << " threads";
        }
    }
}

TEST(SurfaceVoxelizer, NoTrianglesAndNoGridDoNothing)
{
    testmesh::Soup points;
    points.positions = {0, 0, 0, 1, 1, 1};
    Placed placed(points);
    VoxelizerTrapVolumePrivate grid(8, &placed.kernel);
    traptest::ProgressLog log;
    grid.voxelizeSurface(1, log.callback());
    EXPECT_TRUE(log.values.empty());
    EXPECT_EQ(traptest::setBitCount(grid.occupiedBits, grid), 0);
}

} // namespace
