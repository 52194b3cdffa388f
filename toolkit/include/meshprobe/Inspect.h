// SPDX-License-Identifier: MIT
// Size and health of a mesh: extent, edge defects, surface area and enclosed volume.
#pragma once

#include <array>
#include <cstddef>

#include "meshprobe/Mesh.h"

namespace meshprobe {

struct MeshInfo {
    std::size_t vertexCount = 0;
    std::size_t triangleCount = 0;
    /// Smallest and largest coordinates of the vertices, mm (all zero for a mesh without vertices).
    std::array<float, 3> boundsMin{};
    std::array<float, 3> boundsMax{};
    /// Edges used by one face only.
    std::size_t borderEdges = 0;
    /// Edges shared by three or more faces.
    std::size_t nonManifoldEdges = 0;
    /// Edges whose two faces run them in the same direction (inconsistent winding).
    std::size_t badEdges = 0;
    /// Closed and manifold: no border and no non-manifold edge.
    bool watertight = false;
    /// Total triangle area, mm².
    double area = 0.0;
    /// Signed enclosed volume (divergence theorem), mm³: exact for a closed mesh wound counter-clockwise
    /// seen from outside, only an estimate when not watertight.
    double volume = 0.0;
    /// The signed volume is negative: most of the surface is wound clockwise seen from outside, so every
    /// analysis takes the inside for the outside (fixWinding repairs it).
    bool insideOut = false;
};

/// Measures a mesh. No analysis runs; O(n log n) in the triangles, with 12 bytes per face edge on top of
/// the mesh (edges are counted by the host mesh library's topology rules, without building its mesh).
/// @throw InputError when the view is invalid (see validate)
MeshInfo inspect(const MeshView& mesh);

} // namespace meshprobe
