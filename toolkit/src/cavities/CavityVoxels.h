// SPDX-License-Identifier: MIT
// A cavity as vertical runs of voxels in the analysis grid, its measures and its closed surface.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "meshprobe/Mesh.h"
#include "toolkit/src/cavities/TrappedRun.h"

namespace meshprobe::detail {

/// Position of grid point q (voxel coordinates, may be fractional), placed as the voxelizer places its
/// voxel corners.
std::array<double, 3> gridPoint(const VoxelGrid& grid, const std::array<double, 3>& q);

/// Vertical runs sorted by (x, y, z0), touching runs of one column joined.
struct CavityVoxels {
    std::vector<VoxelRun> runs;

    long long count() const;
    bool contains(int x, int y, int z) const;
};

/// A cavity's runs as the voxelizer found them, sorted and joined.
CavityVoxels cavityVoxels(std::vector<VoxelRun> runs);

/// Sorts, then joins runs of one column that touch.
void normalise(CavityVoxels& voxels);

/// Faces between the cavity's voxels and other voxels inside the mesh box [lo, hi] (faces on the box's
/// boundary look out of the part, not onto a wall).
long long boundaryFaceCount(const CavityVoxels& voxels, const std::array<int, 3>& lo, const std::array<int, 3>& hi);

/// The closed surface of the voxels in grid coordinates (integer corners), wound outward: the faces between
/// cavity voxels and other voxels. Coplanar faces are merged greedily into rectangles that keep every grid
/// point along their sides as a vertex (so sides meet neighbouring edges point for point, without
/// T-junctions) and are triangulated as a fan from their centre; a rectangle is merged only where that
/// takes fewer triangles than its unit faces. Where two cavity voxels touch only along an edge, each keeps
/// its own copy of that edge (an extra vertex in its middle); where they touch only at a corner, that corner
/// is two vertices. Every edge then has exactly two faces and every vertex one fan.
Mesh voxelSurface(const CavityVoxels& voxels);

} // namespace meshprobe::detail
