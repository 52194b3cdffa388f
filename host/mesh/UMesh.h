// SPDX-License-Identifier: MIT
// Triangle mesh of the host's mesh library: owned face and vertex lists, a name, and edge topology.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/mesh/UTriangle.h"
#include "host/mesh/UVertex.h"

template <typename T> class MeshBase {
public:
    MeshBase() = default;
    virtual ~MeshBase() = default;

    void SetName(std::string value) { name = std::move(value); }
    const std::string& GetName() const { return name; }

private:
    std::string name;
};

template <typename T> class UMesh : public MeshBase<T> {
public:
    UMesh() = default;
    UMesh(const UMesh&) = delete;
    UMesh& operator=(const UMesh&) = delete;
    /// Releases every vertex and triangle it holds.
    ~UMesh() override
    {
        for (UTriangle<T>* f : faces)
            if (!faceBlock.holds(f)) delete f;
        for (UVertex<T>* v : vertices)
            if (!vertexBlock.holds(v)) delete v;
    }

    /// Owned faces; whatever is appended belongs to the mesh.
    std::vector<UTriangle<T>*> faces;
    /// Owned vertices; whatever is appended belongs to the mesh.
    std::vector<UVertex<T>*> vertices;

    /// Makes `count` default-constructed faces (vertices) in one allocation, owned by the mesh and freed
    /// with it; the caller fills them and appends their addresses. A mesh makes at most one block of each.
    UTriangle<T>* allocateFaces(std::size_t count) { return faceBlock.allocate(count); }
    UVertex<T>* allocateVertices(std::size_t count) { return vertexBlock.allocate(count); }

    bool HasTopo() const { return hasTopo; }

    /// Builds face-face adjacency in O(n log n): edges are matched by their vertex objects.
    /// A border edge links the face to itself; an edge of more than two faces is non-manifold on each of them
    /// (its faces are linked in a ring); a two-face edge run in the same direction by both is a bad edge.
    /// Deleted faces are left out and keep null links.
    void BuildTopo(std::function<void(int)> progress, bool verbose);
    /// The same adjacency, with the half-edges gathered and sorted on up to `threads` threads.
    void BuildTopo(std::function<void(int)> progress, bool verbose, int threads);
    /// Drops adjacency (null links, all edges manifold and good).
    void ClearTopo();
    /// Clears the visited flag of every face.
    void ClearFaceV()
    {
        for (UTriangle<T>* f : faces)
            f->ClearV();
    }

private:
    // Elements made together: a million faces cost a million allocations and frees otherwise.
    template <typename Element> struct Block {
        std::unique_ptr<Element[]> elements;
        std::size_t count = 0;
        Element* allocate(std::size_t n)
        {
            if (elements) throw std::logic_error("UMesh: a second block of elements");
            elements.reset(new Element[n]);
            count = n;
            return elements.get();
        }
        bool holds(const Element* e) const
        {
            const std::less<const Element*> before;
            return elements && !before(e, elements.get()) && before(e, elements.get() + count);
        }
    };
    Block<UTriangle<T>> faceBlock;
    Block<UVertex<T>> vertexBlock;
    bool hasTopo = false;
};

extern template class UMesh<float>;
