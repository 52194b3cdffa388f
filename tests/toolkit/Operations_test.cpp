// SPDX-License-Identifier: MIT
// Toolkit operations against the host library's own calls: the same values bit for bit, counts and voxel
// size from the grid itself, thread counts per call, cancellation and bad input.
#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>
#include <functional>

#include "analysis/MeshAnalyzer.h"
#include "meshprobe/Error.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/TrappedVolumes.h"
#include "tests/trapvolume/TrapTestSupport.h"
#include "toolkit/src/adapters/Placement.h"
#include "toolkit/src/cavities/TrappedRun.h"

namespace {

/// A 10 x 8 x 6 box with a sealed void and a sphere on top: walls of several thicknesses, curved faces
/// that rays hit at an angle, and a closed cavity.
const testmesh::Soup& part()
{
    static const testmesh::Soup soup = [] {
        testmesh::Soup s = testmesh::box(0, 0, 0, 10, 8, 6);
        s.appendFlipped(testmesh::box(3, 2, 2, 6, 5, 4));
        s.append(testmesh::sphere(5, 4, 6.5f, 1.5f, 8, 16));
        return s;
    }();
    return soup;
}

/// The soup moved so that its box centre is at the origin, as the toolkit hands parts to the library.
testmesh::Soup centred(testmesh::Soup soup)
{
    for (std::size_t k = 0; k < 3; ++k) {
        float lo = soup.positions[k], hi = lo;
        for (std::size_t i = k; i < soup.positions.size(); i += 3)
            lo = std::min(lo, soup.positions[i]), hi = std::max(hi, soup.positions[i]);
        for (std::size_t i = k; i < soup.positions.size(); i += 3)
            soup.positions[i] = float(soup.positions[i] - (double(lo) + hi) / 2);
    }
    return soup;
}

/// A sphere shell 0.5 thick, and the same shell made lumpy so that rays meet the far wall at many angles.
const testmesh::Soup& shell(bool lumpy)
{
    static const auto make = [](bool bumps) {
        testmesh::Soup s = testmesh::sphere(0, 0, 0, 10.0f, 40, 60);
        s.appendFlipped(testmesh::sphere(0.3f, 0, 0, 9.5f, 40, 60));
        for (std::size_t i = 0; bumps && i < s.positions.size(); i += 3)
            s.positions[i + 2] += 0.3f * std::sin(1.7f * s.positions[i]) * std::cos(2.3f * s.positions[i + 1]);
        return s;
    };
    static const testmesh::Soup smooth = make(false), bumpy = make(true);
    return lumpy ? bumpy : smooth;
}

// The toolkit's ray pass on 1, 2 and 3 threads against the library's single-thread call on the centred part:
// every value bit for bit and the same selection, over sample counts from none through the pattern to the centroid ray;
// and its colours against the library's colour mode.
TEST(ToolkitThickness, ValuesAndSelectionEqualTheLibraryCallOnEveryThreadCount)
{
    const std::vector<std::pair<const testmesh::Soup*, float>> meshes = {
        {&part(), 2.5f}, {&shell(false), 3.0f}, {&shell(true), 25.0f}};
    for (const auto& [soup, max] : meshes)
        for (int samples : {0, 1, 8, 31, 40}) {
            const auto mesh = centred(*soup).build();
            std::vector<unsigned char[4]> values(mesh->faces.size() + 1);
            Analysis::MeshAnalyzer().statvis_calc_thickness(mesh.get(), nullptr, 0.2f, max, samples,
                                                            Analysis::MeshAnalyzer::Select, values.data(), {});
            std::vector<std::uint32_t> selected;
            for (std::uint32_t f = 0; f < mesh->faces.size(); ++f)
                if (mesh->faces[f]->IsS()) selected.push_back(f);
            if (samples > 0) {
                EXPECT_FALSE(selected.empty());
            }

            for (int threads : {1, 2, 3}) {
                meshprobe::ThicknessOptions options;
                options.min = 0.2f;
                options.max = max;
                options.samples = samples;
                options.threads = threads;
                const meshprobe::ThicknessResult result = meshprobe::thickness(soup->view(), options);
                const std::string where = std::to_string(mesh->faces.size()) + " faces, " + std::to_string(samples) +
                                          " samples, " + std::to_string(threads) + " threads";
                ASSERT_EQ(result.perFace.size(), mesh->faces.size()) << where;
                EXPECT_EQ(std::memcmp(result.perFace.data(), values.data(), 4 * mesh->faces.size()), 0) << where;
                EXPECT_EQ(result.selectedFaces, selected) << where;
                EXPECT_EQ(result.threads, threads) << where;
            }

            // Colours from the measured values: what the library's colour mode paints.
            meshprobe::ThicknessOptions coloured;
            coloured.min = 0.2f;
            coloured.max = max;
            coloured.samples = samples;
            coloured.colours = true;
            const meshprobe::ThicknessResult result = meshprobe::thickness(soup->view(), coloured);
            Analysis::MeshAnalyzer().statvis_calc_thickness(mesh.get(), nullptr, 0.2f, max, samples,
                                                            Analysis::MeshAnalyzer::Color, values.data(), {});
            ASSERT_EQ(result.faceColours.size(), mesh->faces.size());
            EXPECT_EQ(std::memcmp(result.faceColours.data(), values.data(), 4 * mesh->faces.size()), 0) << samples;
        }
}

// A false answer stops the call: it throws Cancelled and reports no more. A single box is done before the
// first timed report, and still gets a report to cancel at, before its end.
TEST(ToolkitThickness, CancelWhileTheRaysRunStopsTheCall)
{
    const testmesh::Soup smallBox = testmesh::box(0, 0, 0, 1, 1, 1);
    for (const testmesh::Soup* mesh : {&shell(true), &smallBox}) {
        meshprobe::ThicknessOptions options;
        options.max = 25.0f;
        options.threads = 2;
        std::vector<float> seen;
        options.progress = [&](float percent) {
            seen.push_back(percent);
            return false;
        };
        EXPECT_THROW(meshprobe::thickness(mesh->view(), options), meshprobe::Cancelled);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_LT(seen[0], 100.0f);
    }
}

// Placed for -x: the toolkit's voxel count and volume are the voxelizer's own count over the part centred on
// its box, its voxel size the grid's.
TEST(ToolkitTrapped, CountsVolumeAndVoxelSizeAreTheGrids)
{
    meshprobe::TrappedOptions options;
    options.resolution = 40;
    options.up = meshprobe::BuildDirection::MinusX;
    const meshprobe::TrappedResult result = meshprobe::trappedVolumes(part().view(), options);

    traptest::Placed placed(centred(part()), meshprobe::detail::placementForUp(options.up));
    EXPECT_EQ(result.voxelSize, (*VoxelizerTrapVolumePrivate(40, &placed.kernel).gridSize)[0] / 40);
    VoxelizerTrapVolume voxelizer(40, &placed.kernel);
    voxelizer.voxelize(1, {});
    float volume = 0.0f;
    EXPECT_EQ(result.trappedVoxels, voxelizer.getTrappedVolumeCount(volume, {}));
    EXPECT_EQ(result.trappedVolume, volume);
    ASSERT_FALSE(result.cavities.empty());
    EXPECT_EQ(result.cavities[0].mesh.triangleCount(), result.cavities[0].triangleCount);
}

// Calls with different team sizes in one process: the progress callback runs on the calling thread inside
// the call's loops, on a team of the call's size; the caller's own setting is never touched. The calling
// thread reports only from the loop items it takes, and on a small part the other thread can take them all,
// so a team of two is looked for over a few calls; no call may ever show a larger team than it asked for.
TEST(ToolkitTrapped, ThreadCountIsPerCallAndLeavesTheCallersSetting)
{
    omp_set_num_threads(3);
    meshprobe::TrappedOptions options;
    options.resolution = meshprobe::detail::kSerialBelowResolution;
    int seen = 0;
    options.progress = [&seen](float) { return (seen = std::max(seen, omp_get_num_threads())) > 0; };
    for (int threads : {1, 2}) {
        options.threads = threads;
        int largest = 0;
        for (int call = 0; call < 20 && largest < threads; ++call) {
            seen = 0;
            EXPECT_EQ(meshprobe::trappedVolumes(part().view(), options).threads, threads);
            EXPECT_LE(seen, threads);
            largest = std::max(largest, seen);
            EXPECT_EQ(omp_get_max_threads(), 3);
        }
        EXPECT_EQ(largest, threads);
    }
    options.resolution = meshprobe::detail::kSerialBelowResolution - 1;
    EXPECT_EQ(meshprobe::trappedVolumes(part().view(), options).threads, 1);
    options.progress = [](float percent) { return percent < 30; };
    EXPECT_THROW(meshprobe::trappedVolumes(part().view(), options), meshprobe::Cancelled);
    EXPECT_EQ(omp_get_max_threads(), 3);
}

TEST(ToolkitErrors, BadInputAndCancellationThrowWithTheirReason)
{
    testmesh::Soup broken = part();
    broken.indices[7] = 100000;
    meshprobe::ThicknessOptions window;
    window.min = 2.0f;
    meshprobe::TrappedOptions coarse;
    coarse.resolution = 0;
    meshprobe::ThicknessOptions cancelled;
    cancelled.progress = [](float) { return false; };
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { meshprobe::trappedVolumes(broken.view()); }, "triangle 2 uses vertex 100000"},
        {[&] { meshprobe::thickness(part().view(), window); }, "min 2 is greater than max 1"},
        {[&] { meshprobe::trappedVolumes(part().view(), coarse); }, "resolution 0 is outside 1..1290"},
        {[&] {
             meshprobe::markingAreas(part().view(), {0, 5000});
         },
         "face 5000 does not exist"},
        {[&] { meshprobe::thickness(part().view(), cancelled); }, "cancelled"},
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
