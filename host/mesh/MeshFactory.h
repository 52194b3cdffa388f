// SPDX-License-Identifier: MIT
// Builds a UMesh<float> from flat position and triangle-index arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/mesh/UMesh.h"

/// Vertex IDs equal list positions, face index fields equal face positions, normals are unit
/// (zero for degenerate faces). Throws std::invalid_argument for a corner index out of range.
/// @param positions  three floats per vertex
/// @param indices    three vertex indices per triangle, in winding order
std::unique_ptr<UMesh<float>> makeMesh(const float* positions, std::size_t vertexCount, const std::uint32_t* indices,
                                       std::size_t triangleCount);

std::unique_ptr<UMesh<float>> makeMesh(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices);

/// Recomputes the stored unit normal of every face from its corners.
void updateFaceNormals(UMesh<float>& mesh);
