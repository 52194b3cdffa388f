// SPDX-License-Identifier: MIT
// Reads a mesh file with Assimp into one welded UMesh<float>.
#pragma once

#include <memory>
#include <string>

#include "common/HostMesh.h"

namespace cli {

/// Reads every mesh of the file, in file order (the scene's node tree, depth first, each node's meshes in
/// order, with the node transforms applied), into one mesh. Triangles keep their order and winding; lines
/// and points are skipped; vertices with identical coordinates are welded and unreferenced ones dropped.
/// Vertex IDs are list positions, numbered in the order the file lists the vertices.
/// @throw InputError naming the file and the problem: missing, empty, unknown extension, truncated binary
///        STL, unreadable, no triangles, NaN or infinite coordinates
/// @throw Kel::AbortException when Ctrl-C arrives during the import
std::unique_ptr<UMesh<float>> importMesh(const std::string& path);

/// True when Assimp can read files with this extension (given with or without the dot).
bool isReadableMeshExtension(const std::string& extension);

/// The extension of a path, lower case, with its dot ("" when there is none).
std::string lowerCaseExtension(const std::string& path);

} // namespace cli
