// SPDX-License-Identifier: MIT
// Flat arrays to host meshes and back, with the checks a caller's arrays need first.
#include "toolkit/src/HostMeshBridge.h"

#include <cmath>
#include <string>
#include <unordered_map>

#include "host/mesh/MeshFactory.h"
#include "meshprobe/Error.h"

namespace meshprobe {

void validate(const MeshView& mesh)
{
    if (mesh.vertexCount > 0 && mesh.vertices == nullptr)
        throw InputError("mesh: " + std::to_string(mesh.vertexCount) + " vertices announced but no vertex array");
    if (mesh.triangleCount > 0 && mesh.triangles == nullptr)
        throw InputError("mesh: " + std::to_string(mesh.triangleCount) + " triangles announced but no triangle array");
    for (std::size_t v = 0; v < mesh.vertexCount; ++v)
        for (int a = 0; a < 3; ++a)
            if (!std::isfinite(mesh.vertices[3 * v + a]))
                throw InputError("mesh: vertex " + std::to_string(v) + " has " +
                                 (std::isnan(mesh.vertices[3 * v + a]) ? "a NaN" : "an infinite") + " coordinate");
    for (std::size_t t = 0; t < mesh.triangleCount; ++t)
        for (int k = 0; k < 3; ++k)
            if (mesh.triangles[3 * t + k] >= mesh.vertexCount)
                throw InputError("mesh: triangle " + std::to_string(t) + " uses vertex " +
                                 std::to_string(mesh.triangles[3 * t + k]) + ", but the mesh has " +
                                 std::to_string(mesh.vertexCount) + " vertices");
}

namespace detail {

std::unique_ptr<UMesh<float>> toHostMesh(const MeshView& mesh)
{
    validate(mesh);
    return makeMesh(mesh.vertices, mesh.vertexCount, mesh.triangles, mesh.triangleCount);
}

Mesh fromHostMesh(const UMesh<float>& mesh, const UMatrix4<float>& transform)
{
    Mesh out;
    const bool identity = transform.isIdenticalMatrix();
    out.vertices.reserve(3 * mesh.vertices.size());
    std::unordered_map<const UVertex<float>*, std::uint32_t> position;
    position.reserve(mesh.vertices.size());
    for (const UVertex<float>* v : mesh.vertices) {
        const UPoint3<float> p = identity ? v->P() : v->P() * transform;
        position.emplace(v, static_cast<std::uint32_t>(position.size()));
        out.vertices.insert(out.vertices.end(), {p[0], p[1], p[2]});
    }
    out.triangles.reserve(3 * mesh.faces.size());
    for (const UTriangle<float>* face : mesh.faces)
        for (int k = 0; k < 3; ++k)
            out.triangles.push_back(position.at(face->V(k)));
    return out;
}

} // namespace detail
} // namespace meshprobe
