// SPDX-License-Identifier: MIT
// The build direction of `trapped --up`: which model axis points up while printing.
#pragma once

#include <string>
#include <vector>

#include "common/HostMesh.h"

namespace cli {

/// The accepted spellings: +z (the default), -z, +x, -x, +y, -y.
const std::vector<std::string>& buildDirectionNames();

/// A rotation that turns the given model axis into +z, the direction the voxelizer drains against.
/// Rotations keep the handedness, so faces keep their winding. Row-vector convention (p' = p * M).
UMatrix4<float> placementForUp(const std::string& up);

/// The inverse rotation, which brings results computed in the placed frame back to the model's frame.
UMatrix4<float> inversePlacementForUp(const std::string& up);

} // namespace cli
