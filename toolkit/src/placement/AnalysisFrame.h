// SPDX-License-Identifier: MIT
// The frame the analyses run in: the part centred on its box and turned for the build direction.
#pragma once

#include <array>

#include "meshprobe/BuildDirection.h"
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

/// The rotation that turns the given model axis into +z (column vectors, p' = R p). Rotations keep the
/// handedness, so faces keep their winding.
Rotation rotationForUp(BuildDirection up);

} // namespace meshprobe::detail
