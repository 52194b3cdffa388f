// SPDX-License-Identifier: MIT
// VoxelizerTrapVolume: the exported handle; voxelize drives the three phases with their progress ranges.
#include "trapvolume/VoxelizerTrapVolume.h"

#include "trapvolume/VoxelizerTrapVolumePrivate.h"

using meshprobe::common::ProgressRescaler;

VoxelizerTrapVolume::VoxelizerTrapVolume(int resolution, MeshKernel* kernel)
    : d(std::make_shared<VoxelizerTrapVolumePrivate>(resolution, kernel))
{
}

// Handles share one private object; the last handle to go releases it, so it is destroyed exactly once,
// and an assignment that drops the last reference to its old object destroys that one.
VoxelizerTrapVolume::VoxelizerTrapVolume(const VoxelizerTrapVolume& other) = default;
VoxelizerTrapVolume& VoxelizerTrapVolume::operator=(const VoxelizerTrapVolume& other) = default;
VoxelizerTrapVolume::~VoxelizerTrapVolume() = default;

void VoxelizerTrapVolume::voxelize(int threadCount, std::function<void(int)> progress)
{
    // A repeated run starts from the state after construction, so it gives the answer of the first run.
    d->restoreConstructedState();
    const ProgressRescaler surface(progress, 0.3, 0.0);
    d->voxelizeSurface(threadCount, surface.callback());
    const ProgressRescaler inside(progress, 0.5, 30.0);
    d->classifyVoxels(threadCount, inside.callback());
    const ProgressRescaler drainable(progress, 0.2, 80.0);
    d->markDrainable(threadCount, drainable.callback());
}

int VoxelizerTrapVolume::getTrappedVolumeCount(float& volume, std::function<void(int)> progress)
{
    return d->getTrappedVolumeCount(volume, progress);
}

std::vector<UMesh<float>*> VoxelizerTrapVolume::trappedVolume2Mesh(std::vector<float>& volumes,
                                                                   std::function<void(int)> progress)
{
    std::vector<UMesh<float>*> meshes;
    d->trappedVolume2Mesh(meshes, volumes, progress);
    return meshes;
}
