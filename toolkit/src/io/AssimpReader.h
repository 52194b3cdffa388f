// SPDX-License-Identifier: MIT
// Reading any format Assimp knows into a welded mesh.
#pragma once

#include <string>

#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"

namespace meshprobe::detail {

/// Reads the file with Assimp and merges its meshes (node tree depth first, transforms applied, polygons
/// split into fans) into one welded mesh. Runs in the calling process: loadMesh calls it in an isolated
/// child, since Assimp is not safe on hostile files.
///
/// `keepScene` leaves Assimp's scene allocated when the call returns: for a child process that exits right
/// after, where freeing a scan's million little face arrays one by one takes a tenth of the read for nothing.
/// The welding runs on up to `weldThreads` threads.
/// @throw InputError (unreadable, no triangles, bad index, NaN or infinite coordinate), Cancelled
Mesh readWithAssimp(const std::string& path, const ProgressCallback& progress, bool keepScene = false,
                    int weldThreads = 1);

} // namespace meshprobe::detail
