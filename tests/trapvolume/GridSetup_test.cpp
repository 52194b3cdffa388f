// SPDX-License-Identifier: MIT
// Grid set-up of the trapped-volume voxelizer as a caller sees it: the grid spans the placed mesh at the
// requested resolution, a set-up that cannot be made leaves an inert object, and copies share one grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "tests/trapvolume/CellSolid.h"
#include "tests/trapvolume/TrapTestSupport.h"
#include "trapvolume/VoxelizerRun.h"

using trapmesh::kFar;
using traptest::Placed;

namespace {

struct Trapped {
    int count;
    float volume;
};

Trapped trapped(MeshKernel& kernel, int resolution)
{
    VoxelizerTrapVolume voxelizer(resolution, &kernel);
    voxelizer.voxelize(1, {});
    Trapped t{0, -1.0f};
    t.count = voxelizer.getTrappedVolumeCount(t.volume, {});
    return t;
}

// Wherever the matrix puts the part and whatever the resolution, the grid spans the part's longest side in
// N voxels: each trapped voxel holds (side / N)^3, and the trapped voxels fill the hole but for a layer of
// at most two voxels on each side (the voxels the hole's walls cross are surface).
TEST(GridSetup, TheGridSpansThePlacedPartAtTheRequestedResolution)
{
    const float hole = 7.0f;
    for (const float scale : {1.0f, 2.5f})
        for (const int resolution : {16, 32, 100}) {
            const UMatrix4<float> matrix =
                UMatrix4<float>::scaling(scale, scale, scale) * UMatrix4<float>::translation(-30, 4, 1e3f);
            Placed placed(trapmesh::sealedCube(), matrix);
            const Trapped t = trapped(placed.kernel, resolution);
            const double edge = 16.0 * scale / resolution;
            SCOPED_TRACE("scale " + std::to_string(scale) + ", N " + std::to_string(resolution));
            ASSERT_GT(t.count, 0);
            EXPECT_NEAR(t.volume / t.count, edge * edge * edge, 1e-3 * edge * edge * edge);
            const double side = scale * hole;
            EXPECT_LE(t.volume, side * side * side);
            EXPECT_GE(t.volume, std::pow(side - 4.0 * edge, 3.0));
        }
}

// Positions map to the voxel that holds them, rounding down, also below the grid's origin (voxel edge 1,
// origin -0.001 here); a voxel's corner maps back.
TEST(GridSetup, PositionsMapToTheVoxelHoldingThem)
{
    Placed placed(testmesh::box(0, 0, 0, 9.998f, 9.998f, 9.998f));
    VoxelizerTrapVolumePrivate grid(10, &placed.kernel);
    const struct {
        double position, voxel;
    } cases[] = {{0.0, 0}, {4.5, 4}, {9.998, 9}, {-0.0009, 0}, {-0.501, -1}, {-2.5, -3}};
    for (const auto& c : cases)
        EXPECT_EQ((*grid.toVoxelCoord(UVector3<double>(c.position, 0, 0)))[0], c.voxel) << c.position;
    EXPECT_NEAR((*grid.voxelCorner(UVector3<double>(3, 0, 9)))[2], 8.999, 1e-6);
}

// The stored triangles are the mesh's, shuffled by the runtime's rand() from where the caller left it: for
// i in order, swap i with lo + (int)(r / 32767.0 * (hi - lo)) on the 15-bit r.
TEST(GridSetup, TrianglesAreShuffledInRandsOrder)
{
    Placed placed(testmesh::sphere(0, 0, 0, 5, 30, 60));
    const UMesh<float>& mesh = *placed.kernel.getMesh();
    for (const unsigned seed : {1u, 77u}) {
        std::srand(seed);
        VoxelizerTrapVolumePrivate grid(16, &placed.kernel);
        std::srand(seed);
        std::vector<std::array<double, 3>> expected;
        for (const UTriangle<float>* face : mesh.faces)
            expected.push_back({double(face->V(0)->ID()), double(face->V(1)->ID()), double(face->V(2)->ID())});
        const int n = grid.faceCount;
        for (int i = 0; i < n; ++i)
            std::swap(expected[i], expected[i + static_cast<int>((std::rand() % 32768) / 32767.0 * (n - 1 - i))]);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(grid.faces.get()[i][0], expected[i][0]) << "seed " << seed << ", triangle " << i;
            ASSERT_EQ(grid.faces.get()[i][2], expected[i][2]) << "seed " << seed << ", triangle " << i;
        }
    }
}

// Vertex IDs that are not list positions, and a part as flat as a sheet, set up like any other part.
TEST(GridSetup, UnusualButValidPartsSetUpSilently)
{
    Placed renumbered(trapmesh::sealedCube());
    UMesh<float>& mesh = *renumbered.kernel.getMesh();
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i)
        mesh.vertices[i]->SetID(static_cast<unsigned>(100 + i));
    testing::internal::CaptureStdout();
    EXPECT_EQ(trapped(renumbered.kernel, 16).count, 6 * 6 * 6);
    Placed flat(testmesh::quadGrid(4, 2));
    EXPECT_EQ(trapped(flat.kernel, 8).count, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// A set-up that cannot be made prints one line naming the problem and leaves an inert object whose operations
// do nothing and report nothing: resolutions outside 1..1290 (the index would not fit), coordinates where
// the box margins vanish in double (about 3e13: the box maximum would map to voxel N) or that are not
// finite, and a mesh without vertices. Just inside what double resolves, and on a single voxel, the grid
// sets up silently; the toolkit's run keeps the line instead of printing it.
TEST(GridSetup, FailedSetUpPrintsOneLineAndLeavesTheObjectInert)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float far;
        int resolution;
        const char* printed; ///< nullptr: sets up silently
    } cases[] = {{1, 2000, "2000"},
                 {1, 1291, "outside 1..1290"},
                 {1, 0, "outside 1..1290"},
                 {1, -1, "outside 1..1290"},
                 {3e13f, 64, "cannot be represented"},
                 {3.8e22f, 64, "cannot be represented"},
                 {nan, 64, "cannot be represented"},
                 {inf, 64, "cannot be represented"},
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
}

TEST(VoxelizerHandle, CopiesShareOneGridAndOutliveTheOriginal)
{
    Placed placed(trapmesh::sealedCube());
    auto original = std::make_unique<VoxelizerTrapVolume>(16, &placed.kernel);
    VoxelizerTrapVolume copy(*original);
    VoxelizerTrapVolume assigned(4, &placed.kernel);
    assigned = copy;
    original->voxelize(1, {});
    original.reset();
    // The copies refer to the voxelized grid: the hole is there to be meshed once, and then used up.
    std::vector<float> volumes;
    const std::vector<UMesh<float>*> meshes = assigned.trappedVolume2Mesh(volumes, {});
    EXPECT_EQ(meshes.size(), 1u);
    for (UMesh<float>* mesh : meshes)
        delete mesh;
    float volume = -1.0f;
    EXPECT_EQ(copy.getTrappedVolumeCount(volume, {}), 0);
    EXPECT_EQ(volume, 0.0f);
}

} // namespace
