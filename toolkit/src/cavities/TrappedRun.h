// SPDX-License-Identifier: MIT
// One trapped-volume analysis of a part already in its analysis frame, in the toolkit's own types: what
// trappedVolumes and findCavities share.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"
#include "toolkit/src/placement/AnalysisFrame.h"

namespace meshprobe::detail {

/// Grids below this resolution run on one thread: there the OpenMP team costs more than it saves. Measured
/// with bench/toolkit_bench.cpp (TrappedDirect, examples/cup.stl) on a busy two-core machine: one thread
/// took 2.3, 3.1, 12 and 16 ms at 16, 32, 48 and 64 voxels, two threads 14, 31, 93 and 211 ms (spinning
/// waits); with passive waits the two were even at 32 to 64.
constexpr int kSerialBelowResolution = 64;

/// The team size of one call: `requested`, or one per core for 0; one below kSerialBelowResolution.
int threadsForCall(int requested, int resolution);

/// Where the voxelizer's grid lies, in the part's analysis frame.
struct VoxelGrid {
    int resolution = 0;
    /// Lower corner of voxel (0, 0, 0).
    std::array<double, 3> origin{};
    /// The grid's edge: the longest side of the padded box.
    double longestSide = 0.0;
    /// Inclusive voxel range of the mesh's unpadded box: where cavities are looked for.
    std::array<int, 3> meshMin{}, meshMax{};

    double voxelSize() const { return longestSide / resolution; }
    /// Position of grid coordinate q (may be fractional) on one axis, as the voxelizer places its corners.
    double corner(int axis, double q) const { return origin[axis] + q * longestSide / resolution; }
};

/// Voxels (x, y, z) for z0 <= z < z1, in grid coordinates.
struct VoxelRun {
    int x = 0, y = 0, z0 = 0, z1 = 0;
};

/// One cavity as the voxelizer found it.
struct FoundCavity {
    bool closed = false;
    /// The voxelizer's own volume, in float.
    float volume = 0.0f;
    std::vector<VoxelRun> runs;
    /// Its column triangles in the model's coordinates, when asked for.
    std::optional<Mesh> columns;

    long long voxelCount() const;
};

struct TrappedRun {
    /// The grid in the part's analysis frame.
    VoxelGrid grid;
    int threads = 0;
    std::vector<FoundCavity> cavities;
};

/// Voxelizes `part` (up is +z of its frame) and lists its cavities with their voxel runs, and their column
/// triangles (in the model's coordinates) when `withColumns`. Progress 0..90 while voxelizing, 90..100 while the
/// cavities are walked; 100 itself is the caller's to report.
/// @throw InputError resolution outside 1..1290, threads < 0
/// @throw Error when the grid cannot be set up, or the cavity walk fails; Cancelled
TrappedRun runTrapped(const PlacedPart& part, int resolution, int threads, bool withColumns,
                      const ProgressCallback& progress);

} // namespace meshprobe::detail
