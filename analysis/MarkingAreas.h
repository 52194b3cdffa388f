// SPDX-License-Identifier: MIT
// Marking areas: breadth-first growth of selected-face patches and the chaining of their boundary loops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/MeshAnalyzer.h"
#include "common/HostMesh.h"

namespace Analysis {

/// Grows one area breadth-first from seed across manifold, non-bad edges into selected, non-deleted,
/// unvisited faces, marking each face taken as visited and appending its index field to region.faceIndices.
/// @return the number of faces added (at least 1: the seed)
int growArea(UTriangle<float>* seed, MarkingRegion& region);
/// Same, with a caller-owned queue that is reused across calls to save allocations.
int growArea(UTriangle<float>* seed, MarkingRegion& region, std::vector<UTriangle<float>*>& queue);

/// Appends the boundary loops of every region of area, in region order. Face indices outside the mesh's
/// face list (possible only in regions from an earlier call on another mesh) contribute no edges.
void traceBoundaryLoops(UMesh<float>* mesh, MarkingArea& area);

/// One boundary edge of an area, run from the edge's V0 to its V1.
struct BoundaryEdge {
    const UVertex<float>* from;
    const UVertex<float>* to;
};

/// Collects and chains boundary edges region by region; keeps its buffers between regions.
class BoundaryLoopTracer {
public:
    /// Replaces out with the boundary edges of the faces at faceIndices, in face order then edge order.
    /// An edge is on the boundary when its adjacency is null or the face itself, when it is non-manifold,
    /// or when the face across it is not selected.
    void collectEdges(const UMesh<float>& mesh, const std::vector<int>& faceIndices,
                      std::vector<BoundaryEdge>& out) const;

    /// Chains the edges of list into closed loops of vertex IDs (first ID repeated at the end) appended to loops.
    /// Each loop starts with the first edge left in list order and continues, at every vertex, with the first
    /// edge left in list order that starts there. A chain that cannot be closed ends the work: that loop and
    /// the remaining edges are dropped, loops already appended stay.
    void chainLoops(const std::vector<BoundaryEdge>& list, std::vector<std::vector<unsigned>>& loops);

    /// collectEdges followed by chainLoops for one region.
    void traceRegion(const UMesh<float>& mesh, MarkingRegion& region);

private:
    static constexpr std::uint32_t noGroup = ~std::uint32_t(0);

    std::vector<BoundaryEdge> edges;
    // Edge positions sorted by start vertex, then by position: one run ("group") per start vertex.
    std::vector<std::uint32_t> byStart;
    std::vector<std::uintptr_t> groupVertex; // the group's start vertex, ascending
    std::vector<std::size_t> groupEnd;       // one past the group's last entry in byStart
    std::vector<std::size_t> groupCursor;    // the group's first entry not yet chained
    std::vector<std::uint32_t> groupOf;      // per edge: the group of its start vertex
    std::vector<std::uint32_t> nextGroup;    // per edge: the group of its end vertex, or noGroup
    std::vector<char> chained;               // per edge: already taken into a loop
    std::vector<unsigned> loop;              // the loop being chained
};

} // namespace Analysis
