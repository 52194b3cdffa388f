// SPDX-License-Identifier: MIT
// Edge topology of UMesh: half-edges sorted by their vertex pair, then linked group by group.
#include "host/mesh/UMesh.h"

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

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

/// The half-edges of faces [first, last), sorted. Deleted faces get null links here and add none.
template <typename T>
std::vector<HalfEdge> sortedHalfEdges(const std::vector<UTriangle<T>*>& faces, std::size_t first, std::size_t last)
{
    std::vector<HalfEdge> halfEdges;
    halfEdges.reserve((last - first) * 3);
    for (std::size_t f = first; f < last; ++f) {
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
    return halfEdges;
}

/// All half-edges in their one sorted order. No two half-edges compare equal (face and edge number tell
/// them apart), so sorting slices on threads and merging them gives exactly the serial order.
template <typename T> std::vector<HalfEdge> sortedHalfEdges(const std::vector<UTriangle<T>*>& faces, int threads)
{
    // Below this many faces a thread costs more than it saves.
    constexpr std::size_t minFacesPerThread = 50000;
    const std::size_t n = faces.size();
    const std::size_t parts =
        std::max<std::size_t>(1, std::min<std::size_t>(threads > 1 ? std::size_t(threads) : 1, n / minFacesPerThread));
    if (parts == 1) return sortedHalfEdges(faces, 0, n);

    std::vector<std::vector<HalfEdge>> slices(parts);
    auto bound = [n, parts](std::size_t part) { return n * part / parts; };
    std::vector<std::thread> helpers;
    helpers.reserve(parts - 1);
    try {
        for (std::size_t part = 1; part < parts; ++part)
            helpers.emplace_back([&, part] { slices[part] = sortedHalfEdges(faces, bound(part), bound(part + 1)); });
        slices[0] = sortedHalfEdges(faces, bound(0), bound(1));
    } catch (...) {
        for (std::thread& helper : helpers)
            helper.join();
        throw;
    }
    for (std::thread& helper : helpers)
        helper.join();
    // Pairwise merges, each slice into the growing front.
    std::vector<HalfEdge> merged = std::move(slices[0]);
    std::vector<HalfEdge> buffer;
    for (std::size_t part = 1; part < parts; ++part) {
        buffer.resize(merged.size() + slices[part].size());
        std::merge(merged.begin(), merged.end(), slices[part].begin(), slices[part].end(), buffer.begin());
        merged.swap(buffer);
        std::vector<HalfEdge>().swap(slices[part]);
    }
    return merged;
}

} // namespace

template <typename T> void UMesh<T>::BuildTopo(std::function<void(int)> progress, bool verbose)
{
    BuildTopo(std::move(progress), verbose, 1);
}

template <typename T> void UMesh<T>::BuildTopo(std::function<void(int)> progress, bool /*verbose*/, int threads)
{
    if (progress) progress(0);

    const std::vector<HalfEdge> halfEdges = sortedHalfEdges(faces, threads);

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
