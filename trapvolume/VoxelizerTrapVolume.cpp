// SPDX-License-Identifier: MIT
// VoxelizerTrapVolume: the exported handle over the private grid object.
#include "trapvolume/VoxelizerTrapVolume.h"

#include "trapvolume/VoxelizerTrapVolumePrivate.h"

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
    d->voxelizeAllPhases(threadCount, progress);
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
