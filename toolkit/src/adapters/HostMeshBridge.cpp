// SPDX-License-Identifier: MIT
// Flat arrays to host meshes in the analysis frame and back.
#include "toolkit/src/adapters/HostMeshBridge.h"

#include <unordered_map>

#include "host/mesh/MeshFactory.h"

namespace meshprobe::detail {

std::unique_ptr<UMesh<float>> toHostMesh(const PlacedPart& part)
{
    return makeMesh(part.mesh.vertices, part.mesh.triangles);
}

std::unique_ptr<UMesh<float>> toHostMesh(const MeshView& view)
{
    return toHostMesh(placePart(view));
}

Mesh fromHostMesh(const UMesh<float>& mesh, const AnalysisFrame& frame)
{
    Mesh out;
    out.vertices.reserve(3 * mesh.vertices.size());
    std::unordered_map<const UVertex<float>*, std::uint32_t> position;
    position.reserve(mesh.vertices.size());
    for (const UVertex<float>* v : mesh.vertices) {
        const UPoint3<float>& p = v->P();
        const std::array<double, 3> q = frame.toModel({double(p[0]), double(p[1]), double(p[2])});
        position.emplace(v, static_cast<std::uint32_t>(position.size()));
        out.vertices.insert(out.vertices.end(),
                            {static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2])});
    }
    out.triangles.reserve(3 * mesh.faces.size());
    for (const UTriangle<float>* face : mesh.faces)
        for (int k = 0; k < 3; ++k)
            out.triangles.push_back(position.at(face->V(k)));
    return out;
}

} // namespace meshprobe::detail
