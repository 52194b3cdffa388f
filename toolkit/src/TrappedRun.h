// SPDX-License-Identifier: MIT
// One trapped-volume analysis of a part already in its analysis frame: what trappedVolumes and findCavities
// share.
#pragma once

#include <vector>

#include "meshprobe/Progress.h"
#include "toolkit/src/HostMeshBridge.h"
#include "trapvolume/VoxelizerRun.h"

namespace meshprobe::detail {

/// Grids below this resolution run on one thread: there the OpenMP team costs more than it saves. Measured
/// with bench/toolkit_bench.cpp (TrappedDirect, examples/cup.stl) on a busy two-core machine: one thread
/// took 2.3, 3.1, 12 and 16 ms at 16, 32, 48 and 64 voxels, two threads 14, 31, 93 and 211 ms (spinning
/// waits); with passive waits the two were even at 32 to 64.
constexpr int kSerialBelowResolution = 64;

/// The team size of one call: `requested`, or one per core for 0; one below kSerialBelowResolution.
int threadsForCall(int requested, int resolution);

struct TrappedRun {
    /// The grid in the part's analysis frame.
    trap::GridGeometry grid;
    int threads = 0;
    std::vector<trap::TrappedCavity> cavities;
};

/// Voxelizes `part` (up is +z of its frame) and lists its cavities with their voxel runs, and their column
/// triangles when `withColumns`. Progress 0..90 while voxelizing, 90..100 while the cavities are walked;
/// 100 itself is the caller's to report.
/// @throw InputError resolution outside 1..1290, threads < 0
/// @throw Error when the grid cannot be set up, or the cavity walk fails; Cancelled
TrappedRun runTrapped(const PlacedPart& part, int resolution, int threads, bool withColumns,
                      const ProgressCallback& progress);

} // namespace meshprobe::detail
