// SPDX-License-Identifier: MIT
// Vertex of the host's mesh library.
#pragma once

#include "host/geometry/UPoint3.h"

template <typename T> class UVertex {
public:
    UVertex() = default;
    UVertex(const UPoint3<T>& position, unsigned identifier) : p(position), id(identifier) {}

    UPoint3<T>& P() { return p; }
    const UPoint3<T>& P() const { return p; }

    /// Identifier that per-vertex arrays are indexed by (the vertex's list position in meshes built by makeMesh).
    unsigned ID() const { return id; }
    void SetID(unsigned value) { id = value; }

private:
    UPoint3<T> p;
    unsigned id = 0;
};
