// SPDX-License-Identifier: MIT
// VoxelizerRun: the private grid object driven directly, its results read from its own fields.
#include "trapvolume/VoxelizerRun.h"

#include <stdexcept>

#include "trapvolume/ParallelVoxelLoop.h"
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

namespace meshprobe::trap {

long long TrappedCavity::voxelCount() const
{
    long long n = 0;
    for (const VoxelRun& r : runs)
        n += r.z1 - r.z0;
    return n;
}

VoxelizerRun::VoxelizerRun(int resolution, MeshKernel& kernel, int threadCount) : threads(threadCount)
{
    try {
        d = std::make_unique<VoxelizerTrapVolumePrivate>(resolution, &kernel, &failure,
                                                         VoxelizerTrapVolumePrivate::IntersectorFirst::Yes);
    } catch (const std::exception&) {
        // When memory ran out for the grid, anything that failed after it says less than the grid's own
        // message. (The intersector is made first and throws before the grid is tried.)
        if (!failure.empty()) throw std::runtime_error(failure);
        throw;
    }
    d->teamSize = threads;
}

VoxelizerRun::~VoxelizerRun() = default;

GridGeometry VoxelizerRun::grid() const
{
    GridGeometry g;
    if (!d->initialized) return g;
    g.resolution = static_cast<int>(d->resolution);
    // The longest side exactly as the set-up takes it from the padded box.
    const UVector3<double> extent = *d->boxMax - *d->boxMin;
    g.longestSide = extent[0];
    if (extent[1] > g.longestSide) g.longestSide = extent[1];
    if (extent[2] > g.longestSide) g.longestSide = extent[2];
    const VoxelizerTrapVolumePrivate::MeshBox box = d->meshBox();
    for (int k = 0; k < 3; ++k) {
        g.origin[k] = (*d->gridOrigin)[k];
        g.meshMin[k] = box.lo[k];
        g.meshMax[k] = box.hi[k];
    }
    return g;
}

void VoxelizerRun::voxelize(const common::ProgressCallback& progress)
{
    // The phases scale their progress by the team they run on.
    d->voxelizeAllPhases(teamSizeOf(threads), progress);
}

std::vector<TrappedCavity> VoxelizerRun::cavities(bool withColumns, const common::ProgressCallback& progress)
{
    std::vector<std::vector<VoxelRun>> runs;
    std::vector<UMesh<float>*> meshes;
    std::vector<float> volumes;
    d->cavityRuns = &runs;
    d->columnTriangles = withColumns;
    try {
        d->trappedVolume2Mesh(meshes, volumes, progress);
    } catch (...) {
        d->cavityRuns = nullptr;
        d->columnTriangles = true;
        throw;
    }
    d->cavityRuns = nullptr;
    d->columnTriangles = true;

    std::vector<std::unique_ptr<UMesh<float>>> owned(meshes.begin(), meshes.end());
    std::vector<TrappedCavity> out(owned.size());
    for (std::size_t c = 0; c < owned.size(); ++c) {
        out[c].closed = owned[c]->GetName() == "Closed";
        out[c].volume = volumes[c];
        out[c].runs = std::move(runs[c]);
        if (withColumns) out[c].columns = std::move(owned[c]);
    }
    return out;
}

} // namespace meshprobe::trap
