// SPDX-License-Identifier: MIT
// Facts about the voxelizer's grid that the toolkit reports: the one place that derives them.
#pragma once

#include "common/HostMesh.h"

namespace meshprobe::detail {

/// Padding the voxelizer adds on every side of the placed mesh's box, mm. A comparison test holds this
/// copy to the voxelizer's own grid, so a change there cannot go unnoticed here.
constexpr double kGridBoxMargin = 0.001;
/// What the voxelizer adds to a coordinate's offset from the grid origin before it truncates it to a voxel
/// coordinate, mm.
constexpr double kVoxelCoordNudge = 1e-9;

/// Grids below this resolution run on one thread: there the OpenMP team costs more than it saves. Measured
/// with bench/toolkit_bench.cpp (TrappedDirect, examples/cup.stl) on a busy two-core machine: one thread
/// took 2.3, 3.1, 12 and 16 ms at 16, 32, 48 and 64 voxels, two threads 14, 31, 93 and 211 ms (spinning
/// waits); with passive waits the two were even at 32 to 64.
constexpr int kSerialBelowResolution = 64;

/// Edge of one voxel of the grid the voxelizer sets up over `mesh` placed by `placement`, mm.
double voxelSizeOf(const UMesh<float>& mesh, const UMatrix4<float>& placement, int resolution);

/// Voxels of a cavity mesh as the voxelizer builds it: one upright triangle per vertical run of voxels, from
/// the run's lower face (corner 0) to its top (corner 2), in the placed frame. Counting runs stays exact
/// where the cavity's float volume no longer resolves single voxels (beyond 2^24 voxels).
long long countColumnVoxels(const UMesh<float>& cavity, double voxelHeight);

/// The team size of one call: `requested`, or one per core for 0; one below kSerialBelowResolution.
int threadsForCall(int requested, int resolution);

} // namespace meshprobe::detail
