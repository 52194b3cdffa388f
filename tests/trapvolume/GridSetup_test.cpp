// SPDX-License-Identifier: MIT
// Grid set-up of the trapped-volume voxelizer: figures, placement, shuffle, failure path, handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "tests/trapvolume/TrapTestSupport.h"
#include "trapvolume/VoxelizerRun.h"

using traptest::Placed;

namespace {

// A box of 1.998 x 0.998 x 0.998 pads to 2 x 1 x 1: with N = 10 the voxel edge is 0.2.
TEST(GridSetup, FiguresForTenVoxelsOverATwoByOneByOneBox)
{
    Placed placed(testmesh::box(1.0f, 2.0f, 3.0f, 2.998f, 2.998f, 3.998f));
    VoxelizerTrapVolumePrivate grid(10, &placed.kernel);
    ASSERT_TRUE(grid.initialized);
    EXPECT_EQ(grid.wordCount, 32u);
    EXPECT_EQ(grid.sliceSize, 100u);
    EXPECT_EQ(grid.resolution, 10u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR((*grid.gridSize)[k], 2.0, 1e-6);
        EXPECT_NEAR((*grid.halfVoxel)[k], 0.1, 1e-7);
        EXPECT_NEAR((*grid.halfVoxelPadded)[k], 0.1 + 1e-5, 1e-7);
        EXPECT_EQ((*grid.gridOrigin)[k], (*grid.boxMin)[k]);
    }
    EXPECT_NEAR((*grid.boxMin)[0], 0.999, 1e-6);
    EXPECT_NEAR((*grid.boxMax)[2], 3.999, 1e-6);
    // The unpadded box starts 0.001 into voxel 0 and ends 0.001 short of the grid on the long axis.
    EXPECT_EQ((*grid.meshVoxelMin)[0], 0.0);
    EXPECT_EQ((*grid.meshVoxelMax)[0], 9.0);
    EXPECT_EQ((*grid.meshVoxelMax)[1], 4.0);
    EXPECT_EQ(grid.faceCount, 12);
    EXPECT_EQ(grid.vertexCount, 8);
    EXPECT_FALSE(grid.labelBits);
}

TEST(GridSetup, FlatMeshStillGetsACubicGrid)
{
    Placed placed(testmesh::quadGrid(4, 2)); // z = 0 everywhere
    VoxelizerTrapVolumePrivate grid(8, &placed.kernel);
    ASSERT_TRUE(grid.initialized);
    EXPECT_NEAR((*grid.gridSize)[2], 4.002, 1e-9);
    EXPECT_NEAR((*grid.boxMax)[2] - (*grid.boxMin)[2], 0.002, 1e-12);
    EXPECT_EQ((*grid.meshVoxelMin)[2], 0.0);
    EXPECT_EQ((*grid.meshVoxelMax)[2], 0.0);
}

// The identity matrix keeps the points; another places them (scaled first, then moved), and the box is
// formed from the placed points.
TEST(GridSetup, TheKernelMatrixPlacesThePoints)
{
    const testmesh::Soup soup = testmesh::box(0.25f, 0.5f, 0.75f, 1.0f, 2.0f, 3.0f);
    for (const float scale : {1.0f, 2.0f}) {
        const UMatrix4<float> matrix =
            scale == 1.0f ? UMatrix4<float>()
                          : UMatrix4<float>::scaling(2, 2, 2) * UMatrix4<float>::translation(10, 0, -5);
        const double shift[3] = {scale == 1.0f ? 0.0 : 10.0, 0.0, scale == 1.0f ? 0.0 : -5.0};
        Placed placed(soup, matrix);
        VoxelizerTrapVolumePrivate grid(4, &placed.kernel);
        for (int i = 0; i < grid.vertexCount; ++i)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(grid.vertices.get()[i][k],
                          scale * soup.positions[static_cast<std::size_t>(3 * i + k)] + shift[k]);
        EXPECT_NEAR((*grid.boxMin)[0], scale * 0.25 + shift[0] - 0.001, 1e-9);
        EXPECT_NEAR((*grid.boxMax)[2], scale * 3.0 + shift[2] + 0.001, 1e-9);
    }
}

TEST(GridSetup, VoxelCoordinatesRoundDownAndBelowTheGridGoOneFurther)
{
    Placed placed(testmesh::box(0, 0, 0, 9.998f, 9.998f, 9.998f)); // voxel edge 1, origin -0.001
    VoxelizerTrapVolumePrivate grid(10, &placed.kernel);
    EXPECT_EQ((*grid.toVoxelCoord(UVector3<double>(0.0, 4.5, 9.998)))[0], 0.0);
    EXPECT_EQ((*grid.toVoxelCoord(UVector3<double>(0.0, 4.5, 9.998)))[1], 4.0);
    EXPECT_EQ((*grid.toVoxelCoord(UVector3<double>(0.0, 4.5, 9.998)))[2], 9.0);
    // v = -0.5 truncates to 0, then one less.
    EXPECT_EQ((*grid.toVoxelCoord(UVector3<double>(-0.501, 0, 0)))[0], -1.0);
    EXPECT_EQ((*grid.toVoxelCoord(UVector3<double>(-2.5, 0, 0)))[0], -3.0);
    const auto corner = grid.voxelCorner(UVector3<double>(3, 0, 9));
    EXPECT_NEAR((*corner)[0], 2.999, 1e-6); // 9.998f is a float
    EXPECT_NEAR((*corner)[2], 8.999, 1e-6);
}

TEST(GridSetup, ShuffleKeepsEveryTriangleAndLeavesASingleOneAlone)
{
    Placed many(testmesh::quadGrid(10, 10));
    VoxelizerTrapVolumePrivate grid(4, &many.kernel);
    std::vector<std::array<double, 3>> shuffled;
    std::vector<std::array<double, 3>> original;
    const UMesh<float>& mesh = *many.kernel.getMesh();
    for (int i = 0; i < grid.faceCount; ++i) {
        const UVector3<double>& f = grid.faces.get()[i];
        shuffled.push_back({f[0], f[1], f[2]});
        original.push_back({static_cast<double>(mesh.faces[static_cast<std::size_t>(i)]->V(0)->ID()),
                            static_cast<double>(mesh.faces[static_cast<std::size_t>(i)]->V(1)->ID()),
                            static_cast<double>(mesh.faces[static_cast<std::size_t>(i)]->V(2)->ID())});
    }
    EXPECT_NE(shuffled, original);
    std::sort(shuffled.begin(), shuffled.end());
    std::sort(original.begin(), original.end());
    EXPECT_EQ(shuffled, original);

    testmesh::Soup one;
    one.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    one.indices = {2, 0, 1};
    Placed single(one);
    VoxelizerTrapVolumePrivate alone(4, &single.kernel);
    EXPECT_EQ(alone.faces.get()[0], UVector3<double>(2, 0, 1));
}

// A set-up that cannot be made prints one line naming the problem and leaves an inert object whose operations
// do nothing and report nothing: resolutions outside 1..1290 (the index would not fit), coordinates where
// the box margins vanish in double (about 3e13: the box maximum would map to voxel N) or that are not
// finite, and a mesh without vertices. Just inside what double resolves, and on a single voxel, the grid
// sets up silently; the toolkit's run keeps the line instead of printing it.
TEST(GridSetup, FailedSetUpPrintsOneLineAndLeavesTheObjectInert)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float far;
        int resolution;
        const char* printed; ///< nullptr: sets up silently
    } cases[] = {{1, 2000, "2000"},
                 {1, 0, "outside 1..1290"},
                 {3e13f, 64, "cannot be represented"},
                 {3.8e22f, 64, "cannot be represented"},
                 {nan, 64, "cannot be represented"},
                 {-1, 8, "no vertices"},
                 {1e9f, 64, nullptr},
                 {1, 1, nullptr}};
    for (const auto& c : cases) {
        MeshKernel kernel(std::shared_ptr<UMesh<float>>(
            c.far < 0 ? new UMesh<float>() : testmesh::box(0, 0, 0, c.far, c.far, c.far).build().release()));
        testing::internal::CaptureStdout();
        VoxelizerTrapVolume voxelizer(c.resolution, &kernel);
        const std::string printed = testing::internal::GetCapturedStdout();
        // The toolkit's run over the same grid keeps that line as a value and prints nothing.
        testing::internal::CaptureStdout();
        meshprobe::trap::VoxelizerRun run(c.resolution, kernel, 1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(run.setUpFailure() + (c.printed ? "\n" : ""), printed);
        if (!c.printed) {
            EXPECT_EQ(printed, "") << c.far << " " << c.resolution;
            continue;
        }
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
        EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;
        traptest::ProgressLog log;
        voxelizer.voxelize(1, log.callback());
        float volume = -1.0f;
        EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, log.callback()), 0);
        EXPECT_EQ(volume, 0.0f);
        std::vector<float> volumes;
        EXPECT_TRUE(voxelizer.trappedVolume2Mesh(volumes, log.callback()).empty());
        EXPECT_TRUE(log.values.empty());
    }
    Placed single(testmesh::sphere(0, 0, 0, 1, 6, 8));
    VoxelizerTrapVolumePrivate grid(1, &single.kernel);
    EXPECT_EQ(grid.wordCount, 1u);
    EXPECT_EQ((*grid.meshVoxelMin)[0], 0.0);
    EXPECT_EQ((*grid.meshVoxelMax)[2], 0.0);
}

// Vertex IDs that are not list positions: the triangles still refer to the right points.
TEST(GridSetup, VertexIdsThatAreNotPositionsAreLookedUp)
{
    Placed placed(testmesh::box(0, 0, 0, 1, 2, 3));
    UMesh<float>& mesh = *placed.kernel.getMesh();
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i)
        mesh.vertices[i]->SetID(static_cast<unsigned>(100 + i));
    VoxelizerTrapVolumePrivate grid(4, &placed.kernel);
    ASSERT_TRUE(grid.initialized);
    for (int f = 0; f < grid.faceCount; ++f)
        for (int k = 0; k < 3; ++k) {
            const double index = grid.faces.get()[f][k];
            EXPECT_GE(index, 0.0);
            EXPECT_LT(index, grid.vertexCount);
        }
}

TEST(VoxelizerHandle, CopiesShareOneGridAndOutliveTheOriginal)
{
    Placed placed(testmesh::box(0, 0, 0, 1, 1, 1));
    auto original = std::make_unique<VoxelizerTrapVolume>(8, &placed.kernel);
    VoxelizerTrapVolume copy(*original);
    VoxelizerTrapVolume assigned(4, &placed.kernel);
    assigned = copy;
    original->voxelize(1, {});
    original.reset();
    // The copies still refer to the voxelized grid: a solid box traps nothing, and the calls are valid.
    float volume = -1.0f;
    EXPECT_EQ(copy.getTrappedVolumeCount(volume, {}), 0);
    EXPECT_EQ(volume, 0.0f);
    std::vector<float> volumes;
    EXPECT_TRUE(assigned.trappedVolume2Mesh(volumes, {}).empty());
}

} // namespace
