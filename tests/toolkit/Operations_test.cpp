// SPDX-License-Identifier: MIT
// Toolkit operations against the host library's own calls: the same values bit for bit, counts and voxel
// size from the grid itself, thread counts per call, cancellation and bad input.
#include <gtest/gtest.h>

#include <omp.h>

#include <cstring>
#include <functional>

#include "analysis/MeshAnalyzer.h"
#include "meshprobe/Error.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/TrappedVolumes.h"
#include "tests/trapvolume/TrapTestSupport.h"
#include "toolkit/src/Placement.h"
#include "toolkit/src/TrappedGrid.h"

namespace {

/// A 10 x 8 x 6 box with a sealed 3 x 3 x 2 void and a sphere poking out of its top: walls of several
/// thicknesses, one closed cavity, and curved faces that most rays hit at an angle.
testmesh::Soup part()
{
    testmesh::Soup soup = testmesh::box(0, 0, 0, 10, 8, 6);
    soup.appendFlipped(testmesh::box(3, 2, 2, 6, 5, 4));
    soup.append(testmesh::sphere(5, 4, 6.5f, 1.5f, 8, 16));
    return soup;
}

TEST(ToolkitThickness, ValuesSelectionAndColoursEqualTheLibraryCall)
{
    const testmesh::Soup soup = part();
    for (int samples : {1, 31, 40}) {
        meshprobe::ThicknessOptions options;
        options.min = 0.5f;
        options.max = 2.5f;
        options.samples = samples;
        options.colours = true;
        const meshprobe::ThicknessResult result = meshprobe::thickness(soup.view(), options);

        const auto mesh = soup.build();
        const size_t faces = mesh->faces.size();
        std::vector<unsigned char[4]> values(faces + 1), colours(faces + 1);
        Analysis::MeshAnalyzer().statvis_calc_thickness(mesh.get(), nullptr, 0.5f, 2.5f, samples,
                                                        Analysis::MeshAnalyzer::Select, values.data(), {});
        std::vector<std::uint32_t> selected;
        for (size_t f = 0; f < faces; ++f)
            if (mesh->faces[f]->IsS()) selected.push_back(static_cast<std::uint32_t>(f));
        Analysis::MeshAnalyzer().statvis_calc_thickness(mesh.get(), nullptr, 0.5f, 2.5f, samples,
                                                        Analysis::MeshAnalyzer::Color, colours.data(), {});

        ASSERT_EQ(result.perFace.size(), faces);
        EXPECT_EQ(std::memcmp(result.perFace.data(), values.data(), 4 * faces), 0) << samples;
        EXPECT_EQ(std::memcmp(result.faceColours.data(), colours.data(), 4 * faces), 0) << samples;
        EXPECT_EQ(result.selectedFaces, selected) << samples;
        EXPECT_FALSE(selected.empty());
    }
}

// Per build direction: the toolkit's voxel count and volume equal the voxelizer's own count, and its voxel
// size is the grid's.
TEST(ToolkitTrapped, CountsVolumeAndVoxelSizeAreTheGrids)
{
    const testmesh::Soup soup = part();
    for (meshprobe::BuildDirection up : {meshprobe::BuildDirection::PlusZ, meshprobe::BuildDirection::MinusX}) {
        meshprobe::TrappedOptions options;
        options.resolution = 40;
        options.up = up;
        const meshprobe::TrappedResult result = meshprobe::trappedVolumes(soup.view(), options);

        traptest::Placed placed(soup, meshprobe::detail::placementForUp(up));
        VoxelizerTrapVolumePrivate grid(40, &placed.kernel);
        EXPECT_EQ(result.voxelSize, (*grid.gridSize)[0] / 40);
        VoxelizerTrapVolume voxelizer(40, &placed.kernel);
        voxelizer.voxelize(1, {});
        float volume = 0.0f;
        EXPECT_EQ(result.trappedVoxels, voxelizer.getTrappedVolumeCount(volume, {}));
        EXPECT_EQ(result.trappedVolume, volume);
        ASSERT_FALSE(result.cavities.empty());
        EXPECT_EQ(result.cavities[0].name, "Closed");
        EXPECT_EQ(result.cavities[0].mesh.triangleCount(), result.cavities[0].triangleCount);
    }
}

// Two calls in one process with different team sizes: each call's loops see its own count (the progress
// callback runs on the calling thread, inside the call), and the caller's setting survives both calls and
// a cancelled one.
TEST(ToolkitTrapped, ThreadCountIsPerCallAndRestored)
{
    const testmesh::Soup soup = part();
    omp_set_num_threads(3);
    for (int threads : {1, 2}) {
        meshprobe::TrappedOptions options;
        options.resolution = meshprobe::detail::kSerialBelowResolution;
        options.threads = threads;
        int seen = 0;
        options.progress = [&seen](float percent) {
            if (percent < 90) seen = omp_get_max_threads(); // while voxelizing
            return true;
        };
        EXPECT_EQ(meshprobe::trappedVolumes(soup.view(), options).threads, threads);
        EXPECT_EQ(seen, threads);
        EXPECT_EQ(omp_get_max_threads(), 3);
    }
    meshprobe::TrappedOptions small;
    small.resolution = meshprobe::detail::kSerialBelowResolution - 1;
    small.threads = 2;
    EXPECT_EQ(meshprobe::trappedVolumes(soup.view(), small).threads, 1);
    small.progress = [](float percent) { return percent < 30; };
    EXPECT_THROW(meshprobe::trappedVolumes(soup.view(), small), meshprobe::Cancelled);
    EXPECT_EQ(omp_get_max_threads(), 3);
}

TEST(ToolkitErrors, BadInputAndCancellationThrowWithTheirReason)
{
    const testmesh::Soup soup = part();
    testmesh::Soup broken = soup;
    broken.indices[7] = 100000;
    meshprobe::ThicknessOptions window;
    window.min = 2.0f;
    window.max = 1.0f;
    meshprobe::TrappedOptions coarse;
    coarse.resolution = 0;
    meshprobe::ThicknessOptions cancelled;
    cancelled.progress = [](float) { return false; };

    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { meshprobe::thickness(broken.view()); }, "triangle 2 uses vertex 100000"},
        {[&] { meshprobe::trappedVolumes(broken.view()); }, "triangle 2 uses vertex 100000"},
        {[&] { meshprobe::thickness(soup.view(), window); }, "min 2 is greater than max 1"},
        {[&] { meshprobe::trappedVolumes(soup.view(), coarse); }, "resolution 0 is outside 1..1290"},
        {[&] {
             meshprobe::markingAreas(soup.view(), {0, 5000});
         },
         "face 5000 does not exist"},
        {[&] { meshprobe::thickness(soup.view(), cancelled); }, "cancelled"},
    };
    for (const auto& [call, expected] : cases) {
        try {
            call();
            ADD_FAILURE() << "no error for " << expected;
        } catch (const meshprobe::Error& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
    }
}

} // namespace
