// SPDX-License-Identifier: MIT
// The build direction: which model axis points up while the part is printed.
#pragma once

#include <string>
#include <vector>

namespace meshprobe {

enum class BuildDirection { PlusZ, MinusZ, PlusX, MinusX, PlusY, MinusY };

/// "+z", "-z", "+x", "-x", "+y", "-y".
std::string toString(BuildDirection up);

/// Parses one of "+z", "-z", "+x", "-x", "+y", "-y" (lower case).
/// @throw InputError "unknown build direction 'w' (use +z, -z, +x, -x, +y or -y)"
BuildDirection parseBuildDirection(const std::string& name);

/// The accepted spellings, +z first.
const std::vector<std::string>& buildDirectionNames();

} // namespace meshprobe
