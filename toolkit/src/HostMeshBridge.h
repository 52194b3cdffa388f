// SPDX-License-Identifier: MIT
// Conversions between the toolkit's flat arrays and the host library's mesh objects, and the frame the
// analyses run in.
#pragma once

#include <array>
#include <memory>

#include "common/HostMesh.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/Orientation.h"

namespace meshprobe::detail {

/// Where the analyses see a part: moved so that its bounding-box centre is at the origin, then turned by
/// `rotation`. The analyses compute in single precision, whose steps grow with the distance from zero; at
/// the origin a part gets the same answers wherever the model placed it.
struct AnalysisFrame {
    /// The model's bounding-box centre, the origin of this frame.
    std::array<double, 3> offset{};
    Rotation rotation;

    /// R (p - offset) in double.
    std::array<double, 3> fromModel(const float* p) const;
    /// R^T p + offset in double: a position found by an analysis, in the model's coordinates.
    std::array<double, 3> toModel(const std::array<double, 3>& p) const;
};

/// The frame for a valid view (offset zero for an empty one).
AnalysisFrame analysisFrame(const MeshView& view, const Rotation& rotation = {});

/// A part in its analysis frame: flat arrays, each coordinate computed in double and rounded to float
/// once, faces and vertices in the view's order.
struct PlacedPart {
    Mesh mesh;
    AnalysisFrame frame;
};

/// @throw InputError when the view is invalid
PlacedPart placePart(const MeshView& view, const Rotation& rotation = {});

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
