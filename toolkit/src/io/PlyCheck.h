// SPDX-License-Identifier: MIT
// Checks of a PLY file's header before the general reader sees it.
#pragma once

#include <string>

namespace meshprobe::detail {

/// Throws InputError naming the file when a PLY file's header never ends: no "end_header" line in the
/// first megabyte. Assimp's PLY reader loops without end on such a header (the isolated reader would
/// only stop it at its time limit), and no real header comes near that size.
void checkPlyHeader(const std::string& path);

} // namespace meshprobe::detail
