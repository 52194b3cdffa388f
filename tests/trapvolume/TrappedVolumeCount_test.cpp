// SPDX-License-Identifier: MIT
// Counting trapped voxels: progress every tenth, consumption, exceptions passing through.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/trapvolume/CellSolid.h"
#include "tests/trapvolume/TrapTestSupport.h"

using trapmesh::CellSolid;
using trapmesh::kFar;
using traptest::Placed;

namespace {

// One sealed cavity in a solid box: planes a + 0.499 and b + 0.499 enclose the voxels a+1 .. b-1.
testmesh::Soup sealedCavity(float x0, float x1, float y0, float y1, float z0, float z1)
{
    CellSolid s({0, x0, x1, kFar}, {0, y0, y1, kFar}, {0, z0, z1, kFar});
    s.carve(1, 1, 1);
    return s.soup();
}

struct CountCase {
    const char* name;
    testmesh::Soup soup;
    int trapped;
    std::vector<int> reports;
};

class TrappedVolumeCount : public testing::TestWithParam<CountCase> {};

TEST_P(TrappedVolumeCount, ReportsEveryTenthAndUsesTheMarksUp)
{
    Placed placed(GetParam().soup);
    VoxelizerTrapVolume voxelizer(16, &placed.kernel);
    voxelizer.voxelize(1, {});
    traptest::ProgressLog log;
    float volume = 0.0f;
    EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, log.callback()), GetParam().trapped);
    EXPECT_NEAR(volume, static_cast<float>(GetParam().trapped), 1e-4f * static_cast<float>(GetParam().trapped));
    EXPECT_EQ(log.values, GetParam().reports);

    // Consumed: a second count finds nothing and reports nothing, and neither does meshing.
    log.values.clear();
    EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, log.callback()), 0);
    EXPECT_EQ(volume, 0.0f);
    std::vector<float> volumes;
    EXPECT_TRUE(voxelizer.trappedVolume2Mesh(volumes, log.callback()).empty());
    EXPECT_TRUE(volumes.empty());
    EXPECT_TRUE(log.values.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cavities, TrappedVolumeCount,
    testing::Values(
        // 1 voxel: step 0, one report.
        CountCase{"OneVoxel", sealedCavity(4.499f, 6.499f, 4.499f, 6.499f, 4.499f, 6.499f), 1, {0}},
        // 1 x 1 x 5: step 0, a report per voxel.
        CountCase{"Column", sealedCavity(4.499f, 6.499f, 4.499f, 6.499f, 2.499f, 8.499f), 5, {0, 10, 20, 30, 40}},
        // 5 x 5 x 1 = 25: step 2, reports while the running count passes 0, 2, 4, ..., 24 -> 0 .. 120.
        CountCase{"TwentyFive",
                  sealedCavity(2.499f, 8.499f, 2.499f, 8.499f, 4.499f, 6.499f),
                  25,
                  {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}},
        // 5 x 5 x 4 = 100: step 10 -> 0 .. 90.
        CountCase{"Hundred",
                  sealedCavity(2.499f, 8.499f, 2.499f, 8.499f, 2.499f, 7.499f),
                  100,
                  {0, 10, 20, 30, 40, 50, 60, 70, 80, 90}},
        CountCase{"None", CellSolid({0, kFar}, {0, kFar}, {0, kFar}).soup(), 0, {}}),
    [](const testing::TestParamInfo<CountCase>& c) { return c.param.name; });

// The callback's exception passes unchanged. The report for the 31st voxel of the 5 x 5 x 4 cavity (k = 3,
// step 10) comes before that voxel is marked: the 30 voxels a breadth-first walk from the seed (faces in the
// order -z, +z, -x, +x, -y, +y) measures first are used up, and a later count finds the other 70.
TEST(TrappedVolumeCountFailure, ExceptionLeavesTheBreadthFirstVisitsAndALaterCountMeasuresTheRest)
{
    Placed placed(sealedCavity(2.499f, 8.499f, 2.499f, 8.499f, 2.499f, 7.499f));
    VoxelizerTrapVolumePrivate grid(16, &placed.kernel);
    traptest::voxelizeAll(grid);
    std::vector<unsigned> expected = traptest::words(grid.occupiedBits, grid.wordCount);
    std::vector<std::uint32_t> queue{grid.voxelIndex(3, 3, 3)}; // the first clear voxel in (z, x, y) order
    const int steps[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
    for (std::size_t head = 0, marked = 0; marked < 30; ++head) {
        const std::uint32_t i = queue[head];
        if (expected[i >> 5] >> (i & 31) & 1u) continue;
        expected[i >> 5] |= 1u << (i & 31);
        ++marked;
        for (const auto& d : steps) {
            const int x = static_cast<int>(i / 256) + d[0], y = static_cast<int>(i / 16 % 16) + d[1],
                      z = static_cast<int>(i % 16) + d[2];
            if (x >= 0 && x < 16 && y >= 0 && y < 16 && z >= 0 && z < 16)
                queue.push_back(grid.voxelIndex(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                                static_cast<std::uint32_t>(z)));
        }
    }
    float volume = 0.0f;
    EXPECT_THROW(grid.getTrappedVolumeCount(volume,
                                            [](int v) {
                                                if (v == 30) throw std::runtime_error("stop");
                                            }),
                 std::runtime_error);
    EXPECT_EQ(traptest::words(grid.occupiedBits, grid.wordCount), expected);
    EXPECT_EQ(grid.getTrappedVolumeCount(volume, {}), 70);
}

} // namespace
