// SPDX-License-Identifier: MIT
// A cavity as a closed solid for the report, from the column triangles the trapped-volume analysis gives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "report/ReportWriter.h"

namespace meshprobe::report {

struct CavitySolid {
    /// The faces between the cavity's voxels and all other voxels, wound counter-clockwise seen from
    /// outside, coplanar neighbours merged into rectangles (two triangles each). It encloses exactly the
    /// voxels, but merged rectangles meet smaller ones at T-junctions: a shape to draw, not an
    /// edge-manifold mesh.
    ReportMesh surface;
    /// Mean of the voxel centres, mm.
    std::array<double, 3> centroid{};
    std::size_t voxels = 0;
};

/// Turns a cavity's column triangles into its voxel surface. Each column triangle spans one voxel edge
/// from corner 2 to corner 1 and a vertical run of voxels from corner 0 (the run's lower face) up to
/// corner 2 (its top), in any axis-aligned build direction; the triangles need not share vertices.
/// @param voxelSize  the grid's voxel edge, mm
CavitySolid cavitySolid(const std::vector<float>& columnVertices, const std::vector<std::uint32_t>& columnTriangles,
                        double voxelSize);

} // namespace meshprobe::report
