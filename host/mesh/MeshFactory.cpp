// SPDX-License-Identifier: MIT
// Builds a UMesh<float> from flat arrays.
#include "host/mesh/MeshFactory.h"

#include <stdexcept>
#include <string>

std::unique_ptr<UMesh<float>> makeMesh(const float* positions, std::size_t vertexCount, const std::uint32_t* indices,
                                       std::size_t triangleCount)
{
    auto mesh = std::make_unique<UMesh<float>>();
    UVertex<float>* vertices = mesh->allocateVertices(vertexCount);
    mesh->vertices.resize(vertexCount);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        vertices[i] = UVertex<float>(UPoint3<float>(positions[3 * i], positions[3 * i + 1], positions[3 * i + 2]),
                                     static_cast<unsigned>(i));
        mesh->vertices[i] = &vertices[i];
    }
    UTriangle<float>* faces = mesh->allocateFaces(triangleCount);
    mesh->faces.reserve(triangleCount);
    for (std::size_t t = 0; t < triangleCount; ++t) {
        UTriangle<float>* face = &faces[t];
        mesh->faces.push_back(face); // the faces checked so far, should the check below throw
        face->index = static_cast<int>(t);
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t vi = indices[3 * t + k];
            if (vi >= vertexCount)
                throw std::invalid_argument("triangle " + std::to_string(t) + " refers to vertex " +
                                            std::to_string(vi) + " of " + std::to_string(vertexCount));
            face->V(k) = mesh->vertices[vi];
        }
    }
    updateFaceNormals(*mesh);
    return mesh;
}

std::unique_ptr<UMesh<float>> makeMesh(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices)
{
    if (positions.size() % 3 != 0 || indices.size() % 3 != 0)
        throw std::invalid_argument("position and index arrays must hold whole triples");
    return makeMesh(positions.data(), positions.size() / 3, indices.data(), indices.size() / 3);
}

void updateFaceNormals(UMesh<float>& mesh)
{
    for (UTriangle<float>* face : mesh.faces) {
        // Double precision so that long thin faces still get a unit normal.
        UVector3<double> p[3];
        for (int k = 0; k < 3; ++k)
            p[k] = UVector3<double>(face->P(k)[0], face->P(k)[1], face->P(k)[2]);
        UVector3<double> n = (p[1] - p[0]).Cross(p[2] - p[0]);
        const double length = n.Length();
        if (length > 0.0)
            n = n / length;
        else
            n = UVector3<double>();
        face->N() = UVector3<float>(static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2]));
    }
}
