// SPDX-License-Identifier: MIT
// Trapped volumes: the part in its analysis frame (centred, turned for the build direction), its cavities
// brought back to the model's coordinates.
#include "meshprobe/TrappedVolumes.h"

#include <memory>
#include <stdexcept>

#include "meshprobe/Error.h"
#include "toolkit/src/runtime/ReportOrCancel.h"
#include "toolkit/src/cavities/TrappedRun.h"

namespace meshprobe {

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
    for (detail::FoundCavity& found : run.cavities) {
        Cavity cavity;
        cavity.name = found.closed ? "Closed" : "Open";
        cavity.volume = found.volume;
        cavity.voxels = found.voxelCount();
        cavity.triangleCount = found.runs.size(); // one column triangle per run
        if (found.columns) cavity.mesh = std::move(*found.columns);
        found = detail::FoundCavity();         // one copy of each cavity at a time
        result.trappedVolume += cavity.volume; // in float, in list order, as the voxelizer's own count sums
        result.trappedVoxels += cavity.voxels;
        result.cavities.push_back(std::move(cavity));
    }
    detail::reportOrCancel(options.progress, 100.0f);
    return result;
}

} // namespace meshprobe
