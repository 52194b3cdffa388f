// SPDX-License-Identifier: MIT
// Trapped volumes through the voxelizer's grid object: the part in its analysis frame (centred, turned for
// the build direction), a team of its own, and the cavities brought back to the model's coordinates.
#include "meshprobe/TrappedVolumes.h"

#include <omp.h>

#include <memory>
#include <stdexcept>

#include "meshprobe/Error.h"
#include "meshprobe/Threads.h"
#include "toolkit/src/CallGuards.h"
#include "toolkit/src/Placement.h"
#include "toolkit/src/TrappedRun.h"

namespace meshprobe {

namespace detail {

int threadsForCall(int requested, int resolution)
{
    if (resolution < kSerialBelowResolution) return 1;
    return requested > 0 ? requested : defaultThreadCount();
}

TrappedRun runTrapped(const PlacedPart& part, int resolution, int threads, bool withColumns,
                      const ProgressCallback& progress)
{
    if (resolution < 1 || resolution > 1290)
        throw InputError("resolution " + std::to_string(resolution) + " is outside 1..1290");
    if (threads < 0) throw InputError("threads " + std::to_string(threads) + " is negative");

    TrappedRun run;
    run.threads = threadsForCall(threads, resolution);
    MeshKernel kernel(toHostMesh(part));
    const auto failure = [resolution](const std::string& why) {
        return Error("cannot set up a " + std::to_string(resolution) + "³ voxel grid: " + why);
    };
    std::unique_ptr<trap::VoxelizerRun> voxelizer;
    try {
        voxelizer = std::make_unique<trap::VoxelizerRun>(resolution, kernel, run.threads);
    } catch (const std::exception& e) {
        throw failure(e.what());
    }
    if (!voxelizer->setUpFailure().empty()) throw failure(voxelizer->setUpFailure());
    run.grid = voxelizer->grid();

    translateHostErrors("trapped volumes", [&] { voxelizer->voxelize(hostProgress(progress, 0.0f, 90.0f)); });
    reportOrCancel(progress, 90.0f); // the phases' last reports fall short by design
    run.cavities = translateHostErrors("cavity meshes failed", [&] {
        return voxelizer->cavities(withColumns, hostProgress(progress, 90.0f, 100.0f));
    });
    return run;
}

} // namespace detail

namespace {

void checkOptions(const TrappedOptions& options)
{
    if (options.resolution < 1 || options.resolution > 1290)
        throw InputError("resolution " + std::to_string(options.resolution) + " is outside 1..1290");
    if (options.threads < 0) throw InputError("threads " + std::to_string(options.threads) + " is negative");
}

} // namespace

TrappedResult trappedVolumes(const MeshView& view, const TrappedOptions& options)
{
    checkOptions(options);
    const detail::PlacedPart part = detail::placePart(view, detail::rotationForUp(options.up));
    detail::TrappedRun run =
        detail::runTrapped(part, options.resolution, options.threads, options.cavityMeshes, options.progress);

    TrappedResult result;
    result.resolution = options.resolution;
    result.up = options.up;
    result.threads = run.threads;
    result.voxelSize = run.grid.voxelSize();
    result.cavities.reserve(run.cavities.size());
    for (trap::TrappedCavity& found : run.cavities) {
        Cavity cavity;
        cavity.name = found.closed ? "Closed" : "Open";
        cavity.volume = found.volume;
        cavity.voxels = found.voxelCount();
        cavity.triangleCount = found.runs.size(); // one column triangle per run
        if (found.columns) cavity.mesh = detail::fromHostMesh(*found.columns, part.frame);
        found = trap::TrappedCavity();         // one copy of each cavity at a time
        result.trappedVolume += cavity.volume; // in float, in list order, as the voxelizer's own count sums
        result.trappedVoxels += cavity.voxels;
        result.cavities.push_back(std::move(cavity));
    }
    detail::reportOrCancel(options.progress, 100.0f);
    return result;
}

} // namespace meshprobe
