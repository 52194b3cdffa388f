// SPDX-License-Identifier: MIT
// A vertical run of voxels of the trapped-volume grid.
#pragma once

namespace meshprobe::trap {

/// Voxels (x, y, z) for z0 <= z < z1, in grid coordinates.
struct VoxelRun {
    int x = 0, y = 0, z0 = 0, z1 = 0;
};

} // namespace meshprobe::trap
