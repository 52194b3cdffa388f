// SPDX-License-Identifier: MIT
// Progress of voxelize as a caller sees it, and cancellation in each phase.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "tests/trapvolume/CellSolid.h"
#include "tests/trapvolume/TrapTestSupport.h"

using traptest::Placed;

namespace {

// Phases as the caller is told: the surface 0..30, classification 30..80, drainage 80..100.
constexpr int kPhaseStart[] = {0, 30, 80};

int phaseOf(int percent)
{
    return percent >= kPhaseStart[2] ? 2 : percent >= kPhaseStart[1] ? 1 : 0;
}

class VoxelizeCancel : public testing::TestWithParam<int> {
protected:
    traptest::TeamSize team{GetParam()};
    Placed placed{trapmesh::sealedCube()};
};

// On one thread: whole percentages that never fall, from 0 through every phase to 100. A grid too small to
// measure (one voxel) reports every phase's start the same way. (On a larger team only the calling thread
// reports, scaled by the team size, so its figures are estimates.)
TEST(VoxelizeProgress, RisesThroughEveryPhaseToAHundredOnOneThread)
{
    traptest::TeamSize team{1};
    Placed placed{trapmesh::sealedCube()};
    for (const int resolution : {24, 1}) {
        VoxelizerTrapVolume voxelizer(resolution, &placed.kernel);
        traptest::ProgressLog log;
        voxelizer.voxelize(1, log.callback());
        SCOPED_TRACE("resolution " + std::to_string(resolution));
        ASSERT_FALSE(log.values.empty());
        EXPECT_EQ(log.values.front(), 0);
        EXPECT_TRUE(std::is_sorted(log.values.begin(), log.values.end()));
        EXPECT_EQ(log.values.back(), resolution > 1 ? 100 : kPhaseStart[2]);
        for (const int phase : {0, 1, 2})
            EXPECT_TRUE(
                std::any_of(log.values.begin(), log.values.end(), [phase](int v) { return phaseOf(v) == phase; }))
                << "no report in phase " << phase;
    }
}

// Stopped at its first report in a phase, voxelize throws and reports nothing of a later phase; the count
// (one thread) or the meshes (two) then read the sets as the stop left them: stopped before the first
// triangle, every voxel of the box (16^3, voxel edge 1) is clear; stopped before any material is made, more
// than the hole; stopped in the drainage, the air of the classification (only the 6^3 hole here). Any
// exception counts as a stop.
TEST_P(VoxelizeCancel, StopsInThePhaseAndRunsNoLaterOne)
{
    for (const int phase : {0, 1, 2}) {
        VoxelizerTrapVolume voxelizer(16, &placed.kernel);
        std::vector<int> seen;
        bool thrown = false;
        const auto progress = [&](int v) {
            seen.push_back(v);
            if (thrown || phaseOf(v) >= phase) {
                thrown = true;
                throw std::runtime_error("stop");
            }
        };
        EXPECT_THROW(voxelizer.voxelize(GetParam(), progress), Kel::AbortException) << "phase " << phase;
        // On a larger team the calling thread's figures are its own count scaled by the team size, so a
        // phase's reports can run past the phase's end when that thread took more than its share: only one
        // thread's figures name their phase.
        if (GetParam() == 1) {
            EXPECT_LE(phaseOf(*std::max_element(seen.begin(), seen.end())), phase) << "phase " << phase;
        }
        float volume = -1.0f;
        std::vector<float> volumes;
        if (GetParam() == 1) volumes.push_back(static_cast<float>(voxelizer.getTrappedVolumeCount(volume, {})));
        for (UMesh<float>* mesh : voxelizer.trappedVolume2Mesh(volumes, {}))
            delete mesh;
        const float clear = std::accumulate(volumes.begin(), volumes.end(), 0.0f);
        if (phase == 2 || (phase == 0 && GetParam() == 1))
            EXPECT_NEAR(clear, phase == 2 ? 6 * 6 * 6 : 16 * 16 * 16, 0.5);
        else
            EXPECT_GT(clear, 6 * 6 * 6) << "phase " << phase;
        if (GetParam() == 1) {
            EXPECT_EQ(volumes.size(), 1u); // the count used the clear voxels up: no mesh
        }
        // Voxelized again without a stop, the same object finds the hole.
        voxelizer.voxelize(GetParam(), {});
        EXPECT_GT(voxelizer.getTrappedVolumeCount(volume, {}), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Teams, VoxelizeCancel, testing::Values(1, 2));

} // namespace
