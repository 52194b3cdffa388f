// SPDX-License-Identifier: MIT
// What the info command reports about a mesh: extent, edge defects, area and enclosed volume.
#pragma once

#include <array>
#include <cstddef>

#include "common/HostMesh.h"

namespace cli {

struct MeshStatistics {
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
    /// Total triangle area, in model units squared.
    double area = 0.0;
    /// Signed enclosed volume (divergence theorem), in model units cubed; positive for a closed mesh wound
    /// counter-clockwise seen from outside, meaningful only when watertight.
    double volume = 0.0;
};

/// Measures the mesh. Builds its face topology when missing (and leaves it).
MeshStatistics measureMesh(UMesh<float>& mesh);

} // namespace cli
