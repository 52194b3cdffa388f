// SPDX-License-Identifier: MIT
// A triangle mesh as two flat arrays, and a non-owning view of a caller's arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace meshprobe {

/// A read-only view of a triangle mesh held elsewhere (a Mesh, numpy arrays, a host's buffers): no copy is
/// made to create it. The arrays must stay alive and unchanged while a call that received the view runs.
/// Coordinates are in millimetres. Every per-face result of the toolkit is indexed by the triangle order here.
struct MeshView {
    /// x, y, z of each vertex, 3 * vertexCount floats.
    const float* vertices = nullptr;
    std::size_t vertexCount = 0;
    /// Three vertex indices per triangle, in winding order (counter-clockwise seen from outside),
    /// 3 * triangleCount values, each below vertexCount.
    const std::uint32_t* triangles = nullptr;
    std::size_t triangleCount = 0;
};

/// A triangle mesh that owns its arrays. Face order is the file's order when loaded; the toolkit never
/// reorders faces or vertices.
struct Mesh {
    /// x, y, z of each vertex, in millimetres; the size is a multiple of 3.
    std::vector<float> vertices;
    /// Three vertex indices per triangle, in winding order; the size is a multiple of 3.
    std::vector<std::uint32_t> triangles;

    std::size_t vertexCount() const { return vertices.size() / 3; }
    std::size_t triangleCount() const { return triangles.size() / 3; }

    /// A view of this mesh, valid while the mesh lives and its vectors are not resized.
    MeshView view() const { return {vertices.data(), vertexCount(), triangles.data(), triangleCount()}; }
    operator MeshView() const { return view(); }
};

/// Checks a view before use: every triangle index below vertexCount, every coordinate finite, non-null
/// arrays where counts are non-zero. Every operation calls it first; call it yourself to fail early.
/// Linear in the size of the mesh.
/// @throw InputError naming the first offending triangle or vertex
void validate(const MeshView& mesh);

} // namespace meshprobe
