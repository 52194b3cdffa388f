// SPDX-License-Identifier: MIT
// The voxelizer's grid object run for the toolkit: a team of its own, its failures as the toolkit's errors,
// its results in the toolkit's types.
#include "toolkit/src/cavities/TrappedRun.h"

#include <memory>
#include <stdexcept>
#include <string>

#include "meshprobe/Error.h"
#include "meshprobe/Threads.h"
#include "toolkit/src/adapters/CallGuards.h"
#include "toolkit/src/adapters/HostMeshBridge.h"
#include "trapvolume/VoxelizerRun.h"

namespace meshprobe::detail {

namespace {

VoxelGrid toolkitGrid(const trap::GridGeometry& g)
{
    VoxelGrid grid;
    grid.resolution = g.resolution;
    grid.origin = g.origin;
    grid.longestSide = g.longestSide;
    grid.meshMin = g.meshMin;
    grid.meshMax = g.meshMax;
    return grid;
}

FoundCavity toolkitCavity(trap::TrappedCavity& found, const AnalysisFrame& frame)
{
    FoundCavity cavity;
    cavity.closed = found.closed;
    cavity.volume = found.volume;
    cavity.runs.reserve(found.runs.size());
    for (const trap::VoxelRun& r : found.runs)
        cavity.runs.push_back({r.x, r.y, r.z0, r.z1});
    if (found.columns) cavity.columns = fromHostMesh(*found.columns, frame);
    found = trap::TrappedCavity(); // one copy of each cavity at a time
    return cavity;
}

} // namespace

long long FoundCavity::voxelCount() const
{
    long long n = 0;
    for (const VoxelRun& r : runs)
        n += r.z1 - r.z0;
    return n;
}

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
    run.grid = toolkitGrid(voxelizer->grid());

    translateHostErrors("trapped volumes", [&] { voxelizer->voxelize(hostProgress({progress, 0.0f, 90.0f})); });
    reportOrCancel(progress, 90.0f); // the phases' last reports fall short by design
    std::vector<trap::TrappedCavity> found = translateHostErrors("cavity meshes failed", [&] {
        return voxelizer->cavities(withColumns, hostProgress({progress, 90.0f, 100.0f}));
    });
    run.cavities.reserve(found.size());
    for (trap::TrappedCavity& cavity : found)
        run.cavities.push_back(toolkitCavity(cavity, part.frame));
    return run;
}

} // namespace meshprobe::detail
