// SPDX-License-Identifier: MIT
// A cavity as vertical runs of voxels in the analysis grid, read back from its column triangles, and the
// voxel grid's placement in the frame the analysis ran in.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "meshprobe/Mesh.h"

namespace meshprobe::detail {

/// The voxel grid over a mesh as the trapped-volume analysis sets it up: the mesh's float box padded by
/// kGridBoxMargin, a cube whose edge is the longest padded side, `resolution` voxels per edge.
struct VoxelGrid {
    std::array<double, 3> origin{};
    double size = 0.0; ///< edge of the whole cube
    int resolution = 1;
    /// The voxels the mesh's own (unpadded) box spans, inclusive: where the analysis looks for cavities.
    std::array<int, 3> meshMin{}, meshMax{};

    double voxelSize() const { return size / resolution; }
    /// Position of grid corner q (voxel coordinates, may be fractional) as the analysis computes its voxel
    /// corners: origin + q * size / resolution.
    std::array<double, 3> corner(const std::array<double, 3>& q) const;
};

VoxelGrid gridOver(const MeshView& mesh, int resolution);

/// Voxels (x, y, z) for z0 <= z < z1.
struct VoxelRun {
    int x = 0, y = 0, z0 = 0, z1 = 0;
};

/// Vertical runs sorted by (x, y, z0), touching runs of one column joined.
struct CavityVoxels {
    std::vector<VoxelRun> runs;

    long long count() const;
    bool contains(int x, int y, int z) const;
};

/// Reads the runs from a cavity's column triangles (corner 0 at the run's lower corner, corner 2 at its
/// top), in the frame the analysis ran in.
/// @throw Error when a triangle does not sit on the grid
CavityVoxels voxelsFromColumns(const Mesh& columns, const VoxelGrid& grid);

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
