// SPDX-License-Identifier: MIT
// Marking areas: selected faces grouped into edge-connected patches, each with its closed boundary loops.
#include "analysis/MarkingAreas.h"

#include <algorithm>
#include <cassert>
#include <functional>
#include <utility>

namespace Analysis {

namespace {

std::uintptr_t vertexKey(const UVertex<float>* v)
{
    return reinterpret_cast<std::uintptr_t>(v);
}

} // namespace

// Regions already in output on entry are traced again against this mesh along with the new ones, so that
// they receive its loops as well; traceBoundaryLoops skips indices that this mesh's face list lacks.
void MeshAnalyzer::getMarkingAreas(UMesh<float>* mesh, std::string label, MarkingArea& output)
{
    if (mesh == nullptr) return;

    // Growth relies on the visited flags, whatever the host left in them.
    mesh->ClearFaceV();
    if (!mesh->HasTopo()) mesh->BuildTopo(std::function<void(int)>(), false);

    // Seeds are tried in face-list order; a face taken by an area is visited and never seeds another.
    const int faceCount = static_cast<int>(mesh->faces.size());
    std::vector<UTriangle<float>*> queue;
    int areaCount = 0;
    for (int i = 0; i < faceCount; ++i) {
        UTriangle<float>* face = mesh->faces[i];
        if (face->IsD() || face->IsV() || !face->IsS()) continue;
        MarkingRegion region;
        region.name = label;
        growArea(face, region, queue);
        region.id = ++areaCount;
        output.regions.push_back(std::move(region));
    }

    traceBoundaryLoops(mesh, output);
    mesh->ClearFaceV();
}

int growArea(UTriangle<float>* seed, MarkingRegion& region)
{
    std::vector<UTriangle<float>*> queue;
    return growArea(seed, region, queue);
}

int growArea(UTriangle<float>* seed, MarkingRegion& region, std::vector<UTriangle<float>*>& queue)
{
    assert(seed != nullptr);
    // A FIFO queue yields the faces ring by ring: each ring is appended in the order in which the faces of
    // the previous ring discover it, which is exactly the level-by-level order.
    queue.clear();
    seed->SetV();
    queue.push_back(seed);
    for (std::size_t head = 0; head < queue.size(); ++head) {
        UTriangle<float>* f = queue[head];
        region.faceIndices.push_back(f->index);
        for (int k = 0; k < 3; ++k) {
            UTriangle<float>* g = f->cFFp(k);
            // A border links the face to itself, which is already visited.
            if (g != nullptr && !g->IsD() && !g->IsV() && g->IsS() && !f->IsBadEdge(k) && f->IsManifold(k)) {
                g->SetV();
                queue.push_back(g);
            }
        }
    }
    return static_cast<int>(queue.size());
}

void traceBoundaryLoops(UMesh<float>* mesh, MarkingArea& area)
{
    if (mesh == nullptr) return;
    BoundaryLoopTracer tracer;
    for (MarkingRegion& region : area.regions)
        tracer.traceRegion(*mesh, region);
}

void BoundaryLoopTracer::traceRegion(const UMesh<float>& mesh, MarkingRegion& region)
{
    collectEdges(mesh, region.faceIndices, edges);
    chainLoops(edges, region.boundaryLoops);
}

void BoundaryLoopTracer::collectEdges(const UMesh<float>& mesh, const std::vector<int>& faceIndices,
                                      std::vector<BoundaryEdge>& out) const
{
    out.clear();
    const std::size_t faceCount = mesh.faces.size();
    for (int faceIndex : faceIndices) {
        // Regions handed in by the caller may name faces this mesh does not have.
        if (faceIndex < 0 || static_cast<std::size_t>(faceIndex) >= faceCount) continue;
        const UTriangle<float>* f = mesh.faces[faceIndex];
        for (int k = 0; k < 3; ++k) {
            const UTriangle<float>* g = f->FFp(k);
            // Unlike growth, this test ignores bad edges and deleted neighbours.
            if (g == nullptr || g == f || !f->IsManifold(k) || !g->IsS()) out.push_back({f->V0(k), f->V1(k)});
        }
    }
}

void BoundaryLoopTracer::chainLoops(const std::vector<BoundaryEdge>& list, std::vector<std::vector<unsigned>>& loops)
{
    const std::size_t edgeCount = list.size();
    if (edgeCount == 0) return;

    // Group the edge positions by start vertex, each group in list order. Looking up "the first edge left
    // in list order that starts at v" is then the first entry of v's group not yet taken, which makes the
    // chaining linear after an O(m log m) sort instead of a quadratic scan of the list.
    byStart.resize(edgeCount);
    for (std::size_t i = 0; i < edgeCount; ++i)
        byStart[i] = static_cast<std::uint32_t>(i);
    std::sort(byStart.begin(), byStart.end(), [&list](std::uint32_t a, std::uint32_t b) {
        const std::uintptr_t ka = vertexKey(list[a].from), kb = vertexKey(list[b].from);
        return ka != kb ? ka < kb : a < b;
    });

    groupVertex.clear();
    groupEnd.clear();
    groupOf.resize(edgeCount);
    for (std::size_t i = 0; i < edgeCount; ++i) {
        const std::uintptr_t key = vertexKey(list[byStart[i]].from);
        if (groupVertex.empty() || groupVertex.back() != key) {
            groupVertex.push_back(key);
            groupEnd.push_back(i);
        }
        groupEnd.back() = i + 1;
        groupOf[byStart[i]] = static_cast<std::uint32_t>(groupVertex.size() - 1);
    }
    groupCursor.resize(groupEnd.size());
    for (std::size_t g = 0; g < groupEnd.size(); ++g)
        groupCursor[g] = g == 0 ? 0 : groupEnd[g - 1];

    // Where each edge's end vertex continues: the group that starts at it, if any.
    nextGroup.resize(edgeCount);
    for (std::size_t i = 0; i < edgeCount; ++i) {
        const std::uintptr_t key = vertexKey(list[i].to);
        const auto it = std::lower_bound(groupVertex.begin(), groupVertex.end(), key);
        nextGroup[i] =
            it != groupVertex.end() && *it == key ? static_cast<std::uint32_t>(it - groupVertex.begin()) : noGroup;
    }

    // Edges leave each group strictly from its front: a lookup takes the group's first edge left, and a loop
    // starts with the first edge left in the whole list, all of whose group predecessors come earlier in the
    // list and are therefore gone. So one cursor per group and one flag per edge describe what is left.
    chained.assign(edgeCount, 0);
    std::size_t first = 0;
    for (;;) {
        while (first < edgeCount && chained[first])
            ++first;
        if (first == edgeCount) return;

        const std::uint32_t startGroup = groupOf[first];
        assert(byStart[groupCursor[startGroup]] == first);
        ++groupCursor[startGroup];
        chained[first] = 1;

        const UVertex<float>* start = list[first].from;
        const UVertex<float>* cur = list[first].to;
        std::uint32_t group = nextGroup[first];
        loop.assign({start->ID(), cur->ID()});
        while (cur != start) {
            // No edge left that starts at cur: the chain fails, dropping this loop and every edge left.
            if (group == noGroup || groupCursor[group] == groupEnd[group]) return;
            const std::uint32_t e = byStart[groupCursor[group]++];
            chained[e] = 1;
            cur = list[e].to;
            group = nextGroup[e];
            loop.push_back(cur->ID());
        }
        // Built in a reused buffer and stored at its exact size: one allocation per loop.
        loops.emplace_back(loop.begin(), loop.end());
    }
}

} // namespace Analysis
