// SPDX-License-Identifier: MIT
// One host mesh with its edge topology, for several marking-area selections on the same part.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/HostMesh.h"
#include "meshprobe/MarkingAreas.h"

namespace meshprobe::detail {

/// The host mesh of a valid view with its topology built on up to `threads` threads (the adjacency does
/// not depend on the count). Building it is most of a marking-area call's cost on a large part.
/// @throw InputError when the view is invalid
std::unique_ptr<UMesh<float>> markingAreaMesh(const MeshView& view, int threads);

/// markingAreas() on a mesh from markingAreaMesh(view, ...); the mesh is left with no face selected, ready
/// for the next selection.
/// @throw InputError a face index that does not exist (the message names it)
MarkingAreasResult markingAreasOn(UMesh<float>& mesh, const MeshView& view,
                                  const std::vector<std::uint32_t>& selectedFaces, const std::string& label);

} // namespace meshprobe::detail
