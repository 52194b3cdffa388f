// SPDX-License-Identifier: MIT
// Cavity meshes: column triangles, names, volumes, consumption, and clean failure.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "tests/trapvolume/CellSolid.h"
#include "tests/trapvolume/TrapTestSupport.h"

using trapmesh::CellSolid;
using trapmesh::kFar;
using traptest::Placed;

namespace {

struct MeshList {
    std::vector<UMesh<float>*> meshes;
    ~MeshList()
    {
        for (UMesh<float>* m : meshes)
            delete m;
    }
};

testmesh::Soup sealedCavity(float x0, float x1, float y0, float y1, float z0, float z1)
{
    CellSolid s({0, x0, x1, kFar}, {0, y0, y1, kFar}, {0, z0, z1, kFar});
    s.carve(1, 1, 1);
    return s.soup();
}

/// The cavity meshes of a solid on a 16-voxel grid.
MeshList cavityMeshes(const testmesh::Soup& soup, std::vector<float>& volumes)
{
    Placed placed(soup);
    VoxelizerTrapVolume voxelizer(16, &placed.kernel);
    voxelizer.voxelize(1, {});
    return MeshList{voxelizer.trappedVolume2Mesh(volumes, {})};
}

void expectPoint(const UVertex<float>* v, float x, float y, float z)
{
    // Voxel corners are -0.001 + q * 1.0000001 in float.
    EXPECT_NEAR(v->P()[0], x, 1e-5f);
    EXPECT_NEAR(v->P()[1], y, 1e-5f);
    EXPECT_NEAR(v->P()[2], z, 1e-5f);
}

// A sealed cavity one voxel wide: one "Closed" mesh with one triangle in the voxels' lower y face, from
// the lowest voxel's corner to the top of the run: voxel (5, 5, 5) alone, and the run z 3..7 (flooded
// from its lowest voxel, one triangle over all five voxels).
TEST(CavityMeshes, VerticalRunIsOneUprightTriangle)
{
    for (const auto& [z0, z1, bottom, top] :
         {std::array<float, 4>{4.499f, 6.499f, 4.999f, 5.999f}, std::array<float, 4>{2.499f, 8.499f, 2.999f, 7.999f}}) {
        std::vector<float> volumes;
        const MeshList list = cavityMeshes(sealedCavity(4.499f, 6.499f, 4.499f, 6.499f, z0, z1), volumes);
        ASSERT_EQ(list.meshes.size(), 1u);
        const UMesh<float>& mesh = *list.meshes[0];
        EXPECT_EQ(mesh.GetName(), "Closed");
        ASSERT_EQ(mesh.faces.size(), 1u);
        ASSERT_EQ(mesh.vertices.size(), 3u);
        expectPoint(mesh.faces[0]->V(0), 4.999f, 4.999f, bottom);
        expectPoint(mesh.faces[0]->V(1), 5.999f, 4.999f, top);
        expectPoint(mesh.faces[0]->V(2), 4.999f, 4.999f, top);
        ASSERT_EQ(volumes.size(), 1u);
        EXPECT_NEAR(volumes[0], top - bottom, 1e-5f);
    }
}

// 2 x 1 x 2 voxels (x 5..6, z 3..4): two runs, two triangles; a mesh call after a count finds nothing.
TEST(CavityMeshes, OneTrianglePerVerticalRunAndNothingAfterACount)
{
    Placed placed(sealedCavity(4.499f, 7.499f, 4.499f, 6.499f, 2.499f, 5.499f));
    VoxelizerTrapVolume voxelizer(16, &placed.kernel);
    voxelizer.voxelize(1, {});
    {
        std::vector<float> volumes;
        MeshList list{voxelizer.trappedVolume2Mesh(volumes, {})};
        ASSERT_EQ(list.meshes.size(), 1u);
        EXPECT_EQ(list.meshes[0]->faces.size(), 2u);
        EXPECT_NEAR(volumes[0], 4.0f, 1e-5f);
        EXPECT_TRUE(voxelizer.trappedVolume2Mesh(volumes, {}).empty()); // used up
    }
    voxelizer.voxelize(1, {});
    float volume = 0.0f;
    EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, {}), 4);
    std::vector<float> volumes;
    EXPECT_TRUE(voxelizer.trappedVolume2Mesh(volumes, {}).empty());
}

// Two sealed cavities of 12 and 9 voxels: T = 21, step 2. The report 70 (running count past 14) comes in the
// second cavity: every mesh is deleted (ASan checks), the first volume stays, the cancellation passes on.
class CavityMeshFailure : public testing::Test {
protected:
    void SetUp() override
    {
        CellSolid s({0, 2.499f, 5.499f, 8.499f, 12.499f, kFar}, {0, 2.499f, 6.499f, kFar},
                    {0, 2.499f, 5.499f, 7.499f, kFar});
        s.carve(1, 1, 1).carve(3, 1, 2);
        placed = std::make_unique<Placed>(s.soup());
        voxelizer = std::make_unique<VoxelizerTrapVolume>(16, &placed->kernel);
        voxelizer->voxelize(1, {});
    }
    std::unique_ptr<Placed> placed;
    std::unique_ptr<VoxelizerTrapVolume> voxelizer;
};

TEST_F(CavityMeshFailure, CancellationOtherFailuresAndProgress)
{
    std::vector<float> volumes;
    EXPECT_THROW(voxelizer->trappedVolume2Mesh(volumes,
                                               [](int v) {
                                                   if (v == 70) throw Kel::AbortException();
                                               }),
                 Kel::AbortException);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_NEAR(volumes[0], 12.0f, 1e-4f);

    // Voxelized again (the cancelled call used voxels up): any other exception becomes "Terminate".
    volumes.clear();
    voxelizer->voxelize(1, {});
    try {
        voxelizer->trappedVolume2Mesh(volumes, [](int) { throw std::runtime_error("not a cancellation"); });
        FAIL() << "no exception";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Terminate");
    }
    EXPECT_TRUE(volumes.empty());

    // Voxelized again: the running count passes 0, 2, ..., 20 -> reports 0 .. 100 by tens, over both cavities.
    voxelizer->voxelize(1, {});
    traptest::ProgressLog log;
    MeshList list{voxelizer->trappedVolume2Mesh(volumes, log.callback())};
    EXPECT_EQ(log.values, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(list.meshes.size(), 2u);
}

} // namespace
