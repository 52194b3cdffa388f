// SPDX-License-Identifier: MIT
// A direct reader for binary STL, the format of most large parts.
#pragma once

#include <cstdint>
#include <string>

#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"

namespace meshprobe::detail {

/// True when the file is a binary STL: exactly 84 + 50 * count bytes for the count in bytes 80..83 (the
/// same test the general reader applies, so both agree on which files are binary).
bool isBinaryStl(const std::string& path, std::uint64_t fileSize);

/// Reads a binary STL into a welded mesh, face order and winding as in the file, vertices numbered in the
/// order corners appear: the same mesh the general reader gives, without a scene copy in between.
/// @throw InputError (no triangles, NaN or infinite coordinates), Cancelled
Mesh readBinaryStl(const std::string& path, const ProgressCallback& progress);

} // namespace meshprobe::detail
