// SPDX-License-Identifier: MIT
// VoxelizerTrapVolume: trapped air of a placed mesh on a cubic voxel grid.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "common/Export.h"

class MeshKernel;
template <typename T> class UMesh;
class VoxelizerTrapVolumePrivate;

class MESHPROBE_API VoxelizerTrapVolume {
public:
    /// Sets up a grid of resolution^3 voxels over the kernel's mesh as placed by its matrix.
    /// Should the set-up fail (out of memory), its message is printed on standard output and every
    /// operation of the object then does nothing.
    /// @param resolution  voxels per grid edge, 1..1290
    /// @param kernel      must outlive the object
    VoxelizerTrapVolume(int resolution, MeshKernel* kernel);
    /// Copies refer to the same grid.
    VoxelizerTrapVolume(const VoxelizerTrapVolume& other);
    VoxelizerTrapVolume& operator=(const VoxelizerTrapVolume& other);
    virtual ~VoxelizerTrapVolume();

    /// Classifies every voxel as surface, material, drainable air or trapped air (air that could leave
    /// only by rising towards +z). Runs on the OpenMP team; progress is reported 0..30, 30..80, 80..100 on
    /// the calling thread only. A repeated call starts again from a clear grid.
    /// @param threadCount  the team size the caller expects; scales progress only
    /// @throw Kel::AbortException when the callback throws (anything); later phases do not run
    void voxelize(int threadCount, std::function<void(int)> progress);

    /// Number of trapped voxels, and their total volume in model units cubed. Uses the trapped marks up:
    /// a later count or trappedVolume2Mesh finds nothing. Returns 0 before voxelize; after a
    /// stopped voxelize it counts the clear voxels as the stopped phase left them.
    /// @param progress  0, 10, 20, ... on the calling thread; whatever it throws passes through
    int getTrappedVolumeCount(float& volume, std::function<void(int)> progress);

    /// One mesh per trapped cavity, named "Closed" (sealed) or "Open", and its volume appended to `volumes`.
    /// The meshes belong to the caller. Uses the trapped marks up, like getTrappedVolumeCount.
    /// @throw Kel::AbortException on cancellation, const char* "Terminate" on other failures; no mesh survives
    std::vector<UMesh<float>*> trappedVolume2Mesh(std::vector<float>& volumes, std::function<void(int)> progress);

private:
    std::shared_ptr<VoxelizerTrapVolumePrivate> d;
};
