// SPDX-License-Identifier: MIT
// Conversions between the toolkit's flat arrays and the host library's mesh objects.
#pragma once

#include <memory>

#include "common/HostMesh.h"
#include "meshprobe/Mesh.h"

namespace meshprobe::detail {

/// The host mesh the analyses work on, built from a validated view: the one copy of the caller's arrays a
/// call makes. Vertex IDs are list positions, face index fields face positions.
/// @throw InputError when the view is invalid
std::unique_ptr<UMesh<float>> toHostMesh(const MeshView& mesh);

/// A host mesh's geometry as flat arrays, each point multiplied by `transform` (row vectors, p' = p * M).
/// Vertices are numbered by their list positions, whatever their IDs.
Mesh fromHostMesh(const UMesh<float>& mesh, const UMatrix4<float>& transform);

} // namespace meshprobe::detail
