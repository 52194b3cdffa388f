// SPDX-License-Identifier: MIT
// The trapped-volume analysis for code built with this library: the same grid and phases as
// VoxelizerTrapVolume, with its results as values (grid geometry, set-up failure, each cavity's voxel runs)
// and an explicit team size. Not exported.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "common/HostMesh.h"
#include "common/Progress.h"
#include "trapvolume/VoxelRun.h"

class VoxelizerTrapVolumePrivate;

namespace meshprobe::trap {

/// Where the grid lies, in the frame of the placed mesh.
struct GridGeometry {
    int resolution = 0;
    /// Lower corner of voxel (0, 0, 0).
    std::array<double, 3> origin{};
    /// The longest side of the padded box: the grid's edge.
    double longestSide = 0.0;
    /// Inclusive voxel range of the mesh's unpadded box: where cavities are looked for.
    std::array<int, 3> meshMin{}, meshMax{};

    double voxelSize() const { return longestSide / resolution; }
    /// Position of grid coordinate q (may be fractional) on one axis: origin + q * edge / N. (The voxel passes
    /// take the edge per axis as (origin + edge) - origin, which can differ from it in the last bit.)
    double corner(int axis, double q) const { return origin[axis] + q * longestSide / resolution; }
};

struct TrappedCavity {
    /// Sealed, rather than open towards air that drains only by rising.
    bool closed = false;
    /// The cavity's volume as trappedVolume2Mesh reports it.
    float volume = 0.0f;
    /// Its voxels, one run per column triangle, in the order the walk met them; runs never overlap.
    std::vector<VoxelRun> runs;
    /// Its column triangles as trappedVolume2Mesh makes them, when asked for; else null.
    std::unique_ptr<UMesh<float>> columns;

    long long voxelCount() const;
};

class VoxelizerRun {
public:
    /// Sets up the grid over the kernel's mesh as placed by its matrix. Prints nothing: a failed set-up is
    /// kept in setUpFailure().
    /// @param threads  team size of voxelize; 0 for the default OpenMP team
    /// @param kernel   must outlive the object
    /// @throw what creating the ray intersector throws; std::runtime_error with the set-up's message when the
    ///        grid had failed before
    VoxelizerRun(int resolution, MeshKernel& kernel, int threads);
    ~VoxelizerRun();
    VoxelizerRun(const VoxelizerRun&) = delete;
    VoxelizerRun& operator=(const VoxelizerRun&) = delete;

    /// Why the grid could not be set up; empty when it was.
    const std::string& setUpFailure() const { return failure; }

    /// The grid; only meaningful when it was set up.
    GridGeometry grid() const;

    /// VoxelizerTrapVolume::voxelize on this run's team, progress reported the same way.
    void voxelize(const common::ProgressCallback& progress);

    /// The trapped cavities as trappedVolume2Mesh finds them, in its order, with their voxel runs; column
    /// triangles only when `withColumns`. Uses the trapped marks up, like trappedVolume2Mesh.
    /// @throw Kel::AbortException on cancellation, const char* "Terminate" on other failures
    std::vector<TrappedCavity> cavities(bool withColumns, const common::ProgressCallback& progress);

private:
    std::string failure;
    std::unique_ptr<VoxelizerTrapVolumePrivate> d;
    int threads;
};

} // namespace meshprobe::trap
