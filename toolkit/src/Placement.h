// SPDX-License-Identifier: MIT
// Rotations that bring a build direction onto +z, the direction the voxelizer drains against.
#pragma once

#include "common/HostMesh.h"
#include "meshprobe/BuildDirection.h"
#include "meshprobe/Orientation.h"

namespace meshprobe::detail {

/// A rotation that turns the given model axis into +z. Rotations keep the handedness, so faces keep their
/// winding. Row-vector convention (p' = p * M).
UMatrix4<float> placementForUp(BuildDirection up);

/// The inverse rotation, which brings results computed in the placed frame back to the model's frame.
UMatrix4<float> inversePlacementForUp(BuildDirection up);

/// placementForUp as a column-vector rotation (p' = R p), the same map.
Rotation rotationForUp(BuildDirection up);

} // namespace meshprobe::detail
