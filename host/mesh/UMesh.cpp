// SPDX-License-Identifier: MIT
// Edge topology of UMesh: half-edges sorted by their vertex pair, then linked group by group.
#include "host/mesh/UMesh.h"

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Below this many faces a thread costs more than it saves.
constexpr std::size_t minFacesPerThread = 50000;

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

/// Runs `first` on a helper thread and `second` on the calling one; both on the calling one when no thread
/// can be started.
template <typename First, typename Second> void runOnTwoThreads(First&& first, Second&& second)
{
    std::thread helper;
    try {
        helper = std::thread(first);
    } catch (const std::system_error&) {
        first();
    }
    try {
        second();
    } catch (...) {
        if (helper.joinable()) helper.join();
        throw;
    }
    if (helper.joinable()) helper.join();
}

/// std::merge of a and b into out, its two halves at once: a's first half and the part of b below a's
/// middle half-edge on a helper thread, the rest on the calling one. No two half-edges compare equal, so
/// where b's part ends is unique and the halves meet exactly where the serial merge would put them.
void mergeOnTwoThreads(const std::vector<HalfEdge>& a, const std::vector<HalfEdge>& b, std::vector<HalfEdge>& out)
{
    const auto aMiddle = a.begin() + static_cast<std::ptrdiff_t>(a.size() / 2);
    const auto bMiddle = aMiddle == a.end() ? b.end() : std::lower_bound(b.begin(), b.end(), *aMiddle);
    const auto outMiddle = out.begin() + (aMiddle - a.begin()) + (bMiddle - b.begin());
    runOnTwoThreads([&] { std::merge(a.begin(), aMiddle, b.begin(), bMiddle, out.begin()); },
                    [&] { std::merge(aMiddle, a.end(), bMiddle, b.end(), outMiddle); });
}

/// All half-edges in their one sorted order. No two half-edges compare equal (face and edge number tell
/// them apart), so sorting slices on threads and merging them gives exactly the serial order.
template <typename T> std::vector<HalfEdge> sortedHalfEdges(const std::vector<UTriangle<T>*>& faces, int threads)
{
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
        mergeOnTwoThreads(merged, slices[part], buffer);
        merged.swap(buffer);
        std::vector<HalfEdge>().swap(slices[part]);
    }
    return merged;
}

/// Links the faces of every edge group in halfEdges[begin, end), a range that starts and ends between
/// groups, and passes each half-edge's state to setState(face, edge, manifold, bad).
template <typename T, typename SetState>
void linkGroups(const std::vector<UTriangle<T>*>& faces, const std::vector<HalfEdge>& halfEdges, std::size_t begin,
                std::size_t end, SetState&& setState)
{
    for (std::size_t groupEnd; begin < end; begin = groupEnd) {
        groupEnd = begin + 1;
        while (groupEnd < end && halfEdges[groupEnd].sameEdge(halfEdges[begin]))
            ++groupEnd;
        const std::size_t count = groupEnd - begin;
        const HalfEdge& first = halfEdges[begin];
        UTriangle<T>* f0 = faces[first.face];
        if (count == 1) {
            f0->FFp(first.edge) = f0;
            setState(first.face, first.edge, true, false);
        } else if (count == 2) {
            const HalfEdge& second = halfEdges[begin + 1];
            UTriangle<T>* f1 = faces[second.face];
            const bool bad = first.forward == second.forward;
            f0->FFp(first.edge) = f1;
            f1->FFp(second.edge) = f0;
            setState(first.face, first.edge, true, bad);
            setState(second.face, second.edge, true, bad);
        } else {
            // Non-manifold: link the faces of the edge in a ring, in face order.
            for (std::size_t i = begin; i < groupEnd; ++i) {
                const HalfEdge& he = halfEdges[i];
                const HalfEdge& next = halfEdges[i + 1 < groupEnd ? i + 1 : begin];
                faces[he.face]->FFp(he.edge) = faces[next.face];
                setState(he.face, he.edge, false, false);
            }
        }
    }
}

/// linkGroups over all half-edges on two threads, split between two groups. The links of different face
/// edges are different objects, but a face's three edge states share its flags word: the threads note each
/// state in a byte of its own, and the faces take theirs afterwards, again on two threads.
template <typename T>
void linkGroupsOnTwoThreads(const std::vector<UTriangle<T>*>& faces, const std::vector<HalfEdge>& halfEdges)
{
    constexpr std::uint8_t none = 0xff, manifoldBit = 1, badBit = 2;
    std::vector<std::uint8_t> states(3 * faces.size(), none);
    std::size_t cut = halfEdges.size() / 2;
    while (cut > 0 && cut < halfEdges.size() && halfEdges[cut].sameEdge(halfEdges[cut - 1]))
        ++cut;
    auto note = [&states](std::uint32_t face, std::uint8_t edge, bool manifold, bool bad) {
        states[3 * std::size_t(face) + edge] =
            static_cast<std::uint8_t>((manifold ? manifoldBit : 0) | (bad ? badBit : 0));
    };
    auto apply = [&faces, &states](std::size_t from, std::size_t to) {
        for (std::size_t f = from; f < to; ++f)
            for (int k = 0; k < 3; ++k) {
                const std::uint8_t state = states[3 * f + std::size_t(k)];
                // Deleted faces add no half-edges and keep the state their half-edge pass gave them.
                if (state != none) faces[f]->SetEdgeState(k, state & manifoldBit, state & badBit);
            }
    };
    runOnTwoThreads([&] { linkGroups(faces, halfEdges, 0, cut, note); },
                    [&] { linkGroups(faces, halfEdges, cut, halfEdges.size(), note); });
    const std::size_t middle = faces.size() / 2;
    runOnTwoThreads([&] { apply(0, middle); }, [&] { apply(middle, faces.size()); });
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
    if (threads > 1 && faces.size() >= 2 * minFacesPerThread)
        linkGroupsOnTwoThreads(faces, halfEdges);
    else
        linkGroups(faces, halfEdges, 0, halfEdges.size(),
                   [this](std::uint32_t face, std::uint8_t edge, bool manifold, bool bad) {
                       faces[face]->SetEdgeState(edge, manifold, bad);
                   });
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
