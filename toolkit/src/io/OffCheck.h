// SPDX-License-Identifier: MIT
// Checks of an OFF file's structure before the general reader sees it.
#pragma once

#include <string>

namespace meshprobe::detail {

/// Throws InputError naming the file when an ASCII OFF file announces more vertices or faces than it holds,
/// or a face refers to a vertex index that is negative or not below the vertex count. Assimp's OFF reader
/// clamps such indices into range (a wrong triangle instead of an error) and asserts on short files, so
/// these faults must be caught before it reads the file. Files that are not ASCII OFF are left alone.
void checkOffFile(const std::string& path);

} // namespace meshprobe::detail
