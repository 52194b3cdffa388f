// SPDX-License-Identifier: MIT
// Conversions between the toolkit's flat arrays and the host library's mesh objects.
#pragma once

#include <memory>

#include "common/HostMesh.h"
#include "meshprobe/Mesh.h"
#include "toolkit/src/placement/AnalysisFrame.h"

namespace meshprobe::detail {

/// The host mesh the analyses work on. Vertex IDs are list positions, face index fields face positions.
std::unique_ptr<UMesh<float>> toHostMesh(const PlacedPart& part);

/// The host mesh of a validated view in its analysis frame (no rotation), for analyses that report no
/// positions: per-face values and selections mean the same in any frame.
/// @throw InputError when the view is invalid
std::unique_ptr<UMesh<float>> toHostMesh(const MeshView& view);

/// A host mesh's geometry found in `frame` as flat arrays in the model's coordinates. Vertices are numbered
/// by their list positions, whatever their IDs.
Mesh fromHostMesh(const UMesh<float>& mesh, const AnalysisFrame& frame);

} // namespace meshprobe::detail
