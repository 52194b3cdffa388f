// SPDX-License-Identifier: MIT
// The in-tree run against the exported class: the same cavities, volumes and column triangles on any team
// size, voxel runs that are exactly the columns, the grid as the set-up made it, and a failed set-up kept as
// a value with nothing printed.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

#include "tests/trapvolume/CellSolid.h"
#include "tests/trapvolume/TrapTestSupport.h"
#include "trapvolume/VoxelizerRun.h"
#include "trapvolume/VoxelizerTrapVolume.h"

using meshprobe::trap::TrappedCavity;
using meshprobe::trap::VoxelizerRun;
using meshprobe::trap::VoxelRun;
using trapmesh::CellSolid;
using traptest::Placed;

namespace {

/// Cells two voxels wide on a 32-voxel grid, each holding one free voxel; carved neighbours join into one
/// cavity, and carved cells in the top layer open upwards.
testmesh::Soup carvedSolid(std::mt19937& random)
{
    std::vector<float> planes{0};
    for (int c = 1; c < 16; ++c)
        planes.push_back(2.0f * static_cast<float>(c) - 0.501f);
    planes.push_back(31.998f);
    CellSolid solid(planes, planes, planes);
    for (int i = 1; i < 15; ++i)
        for (int j = 1; j < 15; ++j)
            for (int k = 1; k < 16; ++k)
                if (random() % 100 < 35) solid.carve(i, j, k);
    return solid.soup();
}

std::vector<float> cornersOf(const UMesh<float>& mesh)
{
    std::vector<float> corners;
    for (const UTriangle<float>* face : mesh.faces)
        for (int v = 0; v < 3; ++v)
            for (int a = 0; a < 3; ++a)
                corners.push_back(face->V(v)->P()[a]);
    return corners;
}

TEST(VoxelizerRun, CavitiesEqualTheExportedCallOnEveryTeamSize)
{
    std::mt19937 random(5);
    std::size_t cavitiesSeen = 0;
    for (int round = 0; round < 4; ++round) {
        Placed placed(carvedSolid(random));
        VoxelizerTrapVolume exported(32, &placed.kernel);
        exported.voxelize(1, {});
        std::vector<float> volumes;
        std::vector<UMesh<float>*> meshes = exported.trappedVolume2Mesh(volumes, {});
        std::vector<std::unique_ptr<UMesh<float>>> owned(meshes.begin(), meshes.end());
        VoxelizerTrapVolume counted(32, &placed.kernel);
        counted.voxelize(1, {});
        float countedVolume = 0.0f;
        const int trappedVoxels = counted.getTrappedVolumeCount(countedVolume, {});
        cavitiesSeen += owned.size();

        for (int team : {1, 2})
            for (bool withColumns : {true, false}) {
                SCOPED_TRACE("round " + std::to_string(round) + ", team " + std::to_string(team) +
                             (withColumns ? ", columns" : ", runs only"));
                VoxelizerRun run(32, placed.kernel, team);
                ASSERT_TRUE(run.setUpFailure().empty());
                const meshprobe::trap::GridGeometry grid = run.grid();
                run.voxelize({});
                const std::vector<TrappedCavity> cavities = run.cavities(withColumns, {});
                ASSERT_EQ(cavities.size(), owned.size());
                long long voxels = 0;
                for (std::size_t c = 0; c < cavities.size(); ++c) {
                    EXPECT_EQ(cavities[c].closed ? "Closed" : "Open", owned[c]->GetName());
                    EXPECT_EQ(cavities[c].volume, volumes[c]);
                    ASSERT_EQ(cavities[c].runs.size(), owned[c]->faces.size());
                    EXPECT_EQ(withColumns, cavities[c].columns != nullptr);
                    if (withColumns) {
                        EXPECT_EQ(cornersOf(*cavities[c].columns), cornersOf(*owned[c]));
                    }
                    // Each run is its column triangle: lower corner at the run's first voxel, top at its end.
                    for (std::size_t r = 0; r < cavities[c].runs.size(); ++r) {
                        const VoxelRun& v = cavities[c].runs[r];
                        const UTriangle<float>& column = *owned[c]->faces[r];
                        EXPECT_EQ(column.P(0)[0], float(grid.corner(0, v.x)));
                        EXPECT_EQ(column.P(0)[1], float(grid.corner(1, v.y)));
                        EXPECT_EQ(column.P(0)[2], float(grid.corner(2, v.z0)));
                        EXPECT_NEAR(column.P(2)[2], grid.corner(2, v.z1), 1e-5);
                    }
                    voxels += cavities[c].voxelCount();
                }
                EXPECT_EQ(voxels, trappedVoxels);
            }
    }
    EXPECT_GT(cavitiesSeen, 10u);
}

// Runs never share a voxel, and every voxel they hold lies in the mesh box.
TEST(VoxelizerRun, RunsAreDisjointAndInsideTheMeshBox)
{
    std::mt19937 random(9);
    Placed placed(carvedSolid(random));
    VoxelizerRun run(32, placed.kernel, 2);
    run.voxelize({});
    const meshprobe::trap::GridGeometry grid = run.grid();
    std::set<std::tuple<int, int, int>> seen;
    for (const TrappedCavity& cavity : run.cavities(false, {}))
        for (const VoxelRun& r : cavity.runs) {
            ASSERT_LT(r.z0, r.z1);
            for (int z = r.z0; z < r.z1; ++z) {
                EXPECT_TRUE(seen.insert({r.x, r.y, z}).second);
                const int at[3] = {r.x, r.y, z};
                for (int k = 0; k < 3; ++k) {
                    EXPECT_GE(at[k], grid.meshMin[k]);
                    EXPECT_LE(at[k], grid.meshMax[k]);
                }
            }
        }
    EXPECT_FALSE(seen.empty());
}

// The grid as the private object set it up, and its voxel size as the longest padded side cut N ways.
TEST(VoxelizerRun, GridIsTheSetUpsOwn)
{
    const testmesh::Soup part = testmesh::box(-3, 1, 2, 7, 4, 5.5f);
    Placed placed(part);
    VoxelizerRun run(20, placed.kernel, 1);
    const meshprobe::trap::GridGeometry grid = run.grid();
    VoxelizerTrapVolumePrivate reference(20, &placed.kernel);
    const VoxelizerTrapVolumePrivate::MeshBox box = reference.meshBox();
    EXPECT_EQ(grid.resolution, 20);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(grid.origin[k], (*reference.gridOrigin)[k]);
        EXPECT_EQ(grid.meshMin[k], box.lo[k]);
        EXPECT_EQ(grid.meshMax[k], box.hi[k]);
        EXPECT_NEAR(grid.corner(k, 7), reference.voxelCornerOnAxis(k, 7), 1e-12);
    }
    EXPECT_EQ(grid.longestSide, (7.0 + 0.001) - (-3.0 - 0.001));
    EXPECT_EQ(grid.voxelSize(), grid.longestSide / 20);
}

// A set-up that fails is a value of the run and prints nothing; the exported class still prints it.
TEST(VoxelizerRun, FailedSetUpIsKeptNotPrinted)
{
    const testmesh::Soup empty;
    const testmesh::Soup part = testmesh::box(0, 0, 0, 1, 1, 1);
    const std::pair<const testmesh::Soup*, int> cases[] = {{&empty, 8}, {&part, 0}, {&part, 1291}};
    for (const auto& [soup, resolution] : cases) {
        Placed placed(*soup);
        testing::internal::CaptureStdout();
        VoxelizerRun run(resolution, placed.kernel, 1);
        run.voxelize({});
        const std::size_t cavities = run.cavities(true, {}).size();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << resolution;
        EXPECT_FALSE(run.setUpFailure().empty()) << resolution;
        EXPECT_EQ(cavities, 0u);

        testing::internal::CaptureStdout();
        VoxelizerTrapVolume exported(resolution, &placed.kernel);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), run.setUpFailure() + "\n") << resolution;
    }
}

} // namespace
