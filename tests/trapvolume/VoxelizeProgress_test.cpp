// SPDX-License-Identifier: MIT
// Progress of voxelize on one thread, and cancellation in each phase.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/trapvolume/TrapTestSupport.h"

using traptest::Placed;

namespace {

// (int)(c * scale) for the iterations c of a phase with measure `total`, scale = (float)(100.0 / total).
std::vector<int> ownerReports(int iterations, int total)
{
    const float scale = total > 0 ? static_cast<float>(100.0 / total) : 0.0f;
    std::vector<int> values;
    for (int c = 0; c < iterations; ++c)
        values.push_back(static_cast<int>(static_cast<float>(c) * scale));
    return values;
}

int rescale(int p, double factor, double offset)
{
    return static_cast<int>(p * factor + offset);
}

// 5 x 5 quads = 50 triangles flat at z = 0; with N = 10 the mesh box is x, y 0..9 and z 0..0.
class VoxelizeProgress : public testing::Test {
protected:
    traptest::TeamSize team{1};
    Placed placed{testmesh::quadGrid(5, 5)};
};

TEST_F(VoxelizeProgress, OneThreadReportsEveryStepThroughItsWrappers)
{
    VoxelizerTrapVolume voxelizer(10, &placed.kernel);
    traptest::ProgressLog log;
    voxelizer.voxelize(1, log.callback());

    // Phase 1: 50 triangles, scale 2 -> 0, 2, ..., 98, seen through the 0.3 wrapper.
    const std::vector<int> firstValues = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 6};
    ASSERT_GE(log.values.size(), firstValues.size());
    EXPECT_EQ(std::vector<int>(log.values.begin(), log.values.begin() + 11), firstValues);

    std::vector<int> expected;
    for (int v : ownerReports(50, 50))
        expected.push_back(rescale(v, 0.3, 0));
    // Phase 2: the line steps run 10 + 10 + 1 iterations over D = 9 + 9 + 0; the vote runs 10 over D = 9.
    for (int v : ownerReports(21, 18))
        expected.push_back(rescale(rescale(v, 0.3, 0), 0.5, 30));
    for (int v : ownerReports(21, 18))
        expected.push_back(rescale(rescale(v, 0.2, 30), 0.5, 30));
    for (int v : ownerReports(10, 9))
        expected.push_back(rescale(rescale(v, 0.5, 50), 0.5, 30));
    // Phase 3: the line loops again.
    for (int v : ownerReports(21, 18))
        expected.push_back(rescale(v, 0.2, 80));
    EXPECT_EQ(log.values, expected);
}

// A mesh box one voxel long on every axis gives D = 0: every report is 0 of its step.
TEST_F(VoxelizeProgress, ZeroMeasureReportsTheStepsStart)
{
    testmesh::Soup tiny;
    tiny.positions = {0, 0, 0, 0.1f, 0, 0, 0, 0.1f, 0.05f};
    tiny.indices = {0, 1, 2};
    Placed one(tiny);
    VoxelizerTrapVolume voxelizer(1, &one.kernel);
    traptest::ProgressLog log;
    voxelizer.voxelize(1, log.callback());
    // Phase 1 (one triangle); carve, flood and drain run three loops of one iteration; the vote one.
    EXPECT_EQ(log.values, (std::vector<int>{0, 30, 30, 30, 45, 45, 45, 55, 80, 80, 80}));
}

struct CancelCase {
    const char* phase;
    std::size_t firstCallOfPhase; ///< the callback throws from this call on (counted from 0)
    std::size_t reports;          ///< calls made before voxelize gives up: the stopped step calls on per iteration
};

class VoxelizeCancel : public VoxelizeProgress, public testing::WithParamInterface<CancelCase> {};

TEST_P(VoxelizeCancel, StopsInThePhaseAndRunsNoLaterOne)
{
    VoxelizerTrapVolume voxelizer(10, &placed.kernel);
    traptest::ProgressLog log;
    log.stopWhen = [&log](int) { return log.values.size() > GetParam().firstCallOfPhase; };
    EXPECT_THROW(voxelizer.voxelize(1, log.callback()), Kel::AbortException);
    EXPECT_EQ(log.values.size(), GetParam().reports);
    float volume = -1.0f;
    EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, {}), 0); // a stopped voxelize leaves nothing to count
}

INSTANTIATE_TEST_SUITE_P(Phases, VoxelizeCancel,
                         testing::Values(CancelCase{"Surface", 0, 50}, CancelCase{"Classification", 50, 50 + 21},
                                         CancelCase{"Drainable", 50 + 21 + 21 + 10, 50 + 21 + 21 + 10 + 21}),
                         [](const testing::TestParamInfo<CancelCase>& c) { return c.param.phase; });

// Stopped at its first report, a one-thread phase runs no work item at all.
TEST_F(VoxelizeProgress, StopAtFirstReportLeavesTheBitsUntouched)
{
    VoxelizerTrapVolumePrivate grid(10, &placed.kernel);
    EXPECT_THROW(grid.voxelizeSurface(1, [](int) { throw Kel::AbortException(); }), Kel::AbortException);
    EXPECT_EQ(traptest::setBitCount(grid.occupiedBits, grid), 0);
    grid.voxelizeSurface(1, {});
    EXPECT_EQ(traptest::setBitCount(grid.occupiedBits, grid), 100); // the whole z = 0 layer
    EXPECT_THROW(grid.classifyVoxels(1, [](int) { throw std::runtime_error("any exception"); }), Kel::AbortException);
    EXPECT_EQ(traptest::setBitCount(grid.reachedBits, grid), 0);
}

} // namespace
