// SPDX-License-Identifier: MIT
// A build direction's rotation as the host library's matrix: the axis placements the voxelizer's own
// callers use, for comparing the toolkit's turned parts with them.
#pragma once

#include "common/HostMesh.h"
#include "meshprobe/BuildDirection.h"

namespace meshprobe::detail {

/// A rotation that turns the given model axis into +z. Rotations keep the handedness, so faces keep their
/// winding. Row-vector convention (p' = p * M).
UMatrix4<float> placementForUp(BuildDirection up);

/// The inverse rotation, which brings results computed in the placed frame back to the model's frame.
UMatrix4<float> inversePlacementForUp(BuildDirection up);

} // namespace meshprobe::detail
