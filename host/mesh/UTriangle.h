// SPDX-License-Identifier: MIT
// Triangle of the host's mesh library: corner vertices, stored normal, flags and edge adjacency.
#pragma once

#include <cstdint>

#include "host/geometry/UVector3.h"
#include "host/mesh/UVertex.h"

template <typename T> class UTriangle {
public:
    UTriangle() = default;

    /// Corner vertex slot k (0, 1, 2).
    UVertex<T>*& V(int k) { return v[k]; }
    UVertex<T>* V(int k) const { return v[k]; }
    /// Position of corner k.
    UPoint3<T>& P(int k) { return v[k]->P(); }
    const UPoint3<T>& P(int k) const { return v[k]->P(); }

    /// Stored unit face normal.
    UVector3<T>& N() { return n; }
    const UVector3<T>& N() const { return n; }

    /// Position of this face in its mesh's face list.
    int index = 0;

    bool IsS() const { return (flags & Selected) != 0; }
    void SetS() { flags |= Selected; }
    void ClearS() { flags &= ~Selected; }
    bool IsH() const { return (flags & Hidden) != 0; }
    void SetH() { flags |= Hidden; }
    void ClearH() { flags &= ~Hidden; }
    bool IsD() const { return (flags & Deleted) != 0; }
    void SetD() { flags |= Deleted; }
    void ClearD() { flags &= ~Deleted; }
    bool IsV() const { return (flags & Visited) != 0; }
    void SetV() { flags |= Visited; }
    void ClearV() { flags &= ~Visited; }

    /// Face across edge k (V(k) -> V((k+1)%3)); the face itself on a border, null before topology is built.
    UTriangle*& FFp(int k) { return ff[k]; }
    UTriangle* FFp(int k) const { return ff[k]; }
    UTriangle* cFFp(int k) const { return ff[k]; }

    /// False when more than two faces share edge k.
    bool IsManifold(int k) const { return (flags & (NonManifold0 << k)) == 0; }
    /// True when edge k is shared with one other face that runs it in the same direction (inconsistent winding).
    bool IsBadEdge(int k) const { return (flags & (BadEdge0 << k)) != 0; }

    /// Start and end vertex of edge k.
    UVertex<T>* V0(int k) const { return v[k]; }
    UVertex<T>* V1(int k) const { return v[(k + 1) % 3]; }

    /// Set by the topology builder.
    void SetEdgeState(int k, bool manifold, bool bad)
    {
        flags &= ~((NonManifold0 | BadEdge0) << k);
        if (!manifold) flags |= NonManifold0 << k;
        if (bad) flags |= BadEdge0 << k;
    }

private:
    enum : std::uint32_t {
        Selected = 1u << 0,
        Hidden = 1u << 1,
        Deleted = 1u << 2,
        Visited = 1u << 3,
        NonManifold0 = 1u << 4, // bits 4..6, one per edge
        BadEdge0 = 1u << 7,     // bits 7..9, one per edge
    };

    UVertex<T>* v[3] = {nullptr, nullptr, nullptr};
    UTriangle* ff[3] = {nullptr, nullptr, nullptr};
    UVector3<T> n;
    std::uint32_t flags = 0;
};
