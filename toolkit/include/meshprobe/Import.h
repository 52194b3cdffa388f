// SPDX-License-Identifier: MIT
// Reading mesh files (with Assimp) into a Mesh.
#pragma once

#include <string>

#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"

namespace meshprobe {

struct LoadOptions {
    /// Reading progress; returning false abandons the read (Cancelled).
    ProgressCallback progress;
    /// The length unit of files whose format has none (STL, OBJ, PLY, OFF, ...): "mm", "cm", "m" or "in".
    /// 3MF files declare their own unit, which is applied instead.
    std::string assumedUnit = "mm";
};

/// Reads every mesh of a file into one Mesh: binary and ASCII STL, OBJ, PLY, OFF, 3MF, glTF and the other
/// formats Assimp reads, chosen by the file extension.
/// - All meshes of the file are merged in file order (the node tree depth first, each node's meshes in
///   order, node transforms applied).
/// - Triangles keep their order and winding; polygons are split into triangles in place (fans); lines and
///   points are skipped.
/// - Vertices with identical coordinates are welded, unused vertices dropped; vertex IDs are positions in
///   the resulting list, numbered in the order the file lists its vertices.
/// - Coordinates are scaled to millimetres: by the unit a 3MF file declares (micron, millimeter, centimeter,
///   inch, foot, meter), by options.assumedUnit for formats without units.
/// @throw InputError whose message starts with the path: missing file, folder, empty file, no or unknown
///        extension, truncated binary STL, unreadable content, no triangles, NaN or infinite coordinates,
///        a face that refers to a vertex that does not exist
/// @throw Cancelled when options.progress returned false
Mesh loadMesh(const std::string& path, const LoadOptions& options = {});

/// The length unit a mesh file declares ("inch", "millimeter", ... for 3MF), or "" when its format has none.
/// @throw InputError when a 3MF file declares a unit 3MF does not know
std::string declaredUnit(const std::string& path);

/// Millimetres per unit for "mm", "cm", "m", "in" and the 3MF unit names; InputError for anything else.
double millimetresPerUnit(const std::string& unit);

/// True when loadMesh can read files with this extension (given with or without the dot, any case).
bool isReadableMeshExtension(const std::string& extension);

/// The extension of a path, lower case, with its dot ("" when there is none).
std::string lowerCaseExtension(const std::string& path);

} // namespace meshprobe
