// SPDX-License-Identifier: MIT
// Edge topology of UMesh: half-edges sorted by their vertex pair, then linked group by group.
#include "host/mesh/UMesh.h"

#include <algorithm>
#include <cstdint>

namespace {

struct HalfEdge {
    std::uintptr_t lo;  // the smaller of the two vertex addresses
    std::uintptr_t hi;  // the larger
    std::uint32_t face; // position in the face list
    std::uint8_t edge;  // 0, 1, 2
    bool forward;       // runs lo -> hi

    bool operator<(const HalfEdge& o) const
    {
        if (lo != o.lo) return lo < o.lo;
        if (hi != o.hi) return hi < o.hi;
        if (face != o.face) return face < o.face;
        return edge < o.edge;
    }
    bool sameEdge(const HalfEdge& o) const { return lo == o.lo && hi == o.hi; }
};

} // namespace

template <typename T> void UMesh<T>::BuildTopo(std::function<void(int)> progress, bool /*verbose*/)
{
    if (progress) progress(0);

    std::vector<HalfEdge> halfEdges;
    halfEdges.reserve(faces.size() * 3);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        // Deleted faces take no part: they keep null links, and a face that replaced one sees its edges
        // as if the deleted face were gone.
        if (faces[f]->IsD()) {
            for (int k = 0; k < 3; ++k) {
                faces[f]->FFp(k) = nullptr;
                faces[f]->SetEdgeState(k, true, false);
            }
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            auto a = reinterpret_cast<std::uintptr_t>(faces[f]->V0(k));
            auto b = reinterpret_cast<std::uintptr_t>(faces[f]->V1(k));
            halfEdges.push_back(
                {std::min(a, b), std::max(a, b), static_cast<std::uint32_t>(f), static_cast<std::uint8_t>(k), a <= b});
        }
    }
    std::sort(halfEdges.begin(), halfEdges.end());

    for (std::size_t begin = 0; begin < halfEdges.size();) {
        std::size_t end = begin + 1;
        while (end < halfEdges.size() && halfEdges[end].sameEdge(halfEdges[begin]))
            ++end;
        const std::size_t count = end - begin;
        const HalfEdge& first = halfEdges[begin];
        UTriangle<T>* f0 = faces[first.face];
        if (count == 1) {
            f0->FFp(first.edge) = f0;
            f0->SetEdgeState(first.edge, true, false);
        } else if (count == 2) {
            const HalfEdge& second = halfEdges[begin + 1];
            UTriangle<T>* f1 = faces[second.face];
            const bool bad = first.forward == second.forward;
            f0->FFp(first.edge) = f1;
            f1->FFp(second.edge) = f0;
            f0->SetEdgeState(first.edge, true, bad);
            f1->SetEdgeState(second.edge, true, bad);
        } else {
            // Non-manifold: link the faces of the edge in a ring, in face order.
            for (std::size_t i = begin; i < end; ++i) {
                const HalfEdge& he = halfEdges[i];
                const HalfEdge& next = halfEdges[i + 1 < end ? i + 1 : begin];
                faces[he.face]->FFp(he.edge) = faces[next.face];
                faces[he.face]->SetEdgeState(he.edge, false, false);
            }
        }
        begin = end;
    }
    hasTopo = true;
    if (progress) progress(100);
}

template <typename T> void UMesh<T>::ClearTopo()
{
    for (UTriangle<T>* f : faces)
        for (int k = 0; k < 3; ++k) {
            f->FFp(k) = nullptr;
            f->SetEdgeState(k, true, false);
        }
    hasTopo = false;
}

template class UMesh<float>;
