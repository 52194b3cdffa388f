// SPDX-License-Identifier: MIT
// Coloured-mesh writers that Assimp lacks: binary PLY with per-face colours, and 3MF with per-triangle colours.
#pragma once

#include <string>
#include <vector>

#include "meshprobe/Export.h"

namespace meshprobe::detail {

/// Binary little-endian PLY: shared vertices (float x, y, z) and faces (uchar count, int indices) carrying
/// uchar red, green, blue, alpha: the file's bytes.
std::string faceColouredPly(const MeshView& mesh, const std::vector<Rgba>& colours);

/// 3MF (millimetres) whose triangles take their colour from a core `basematerials` group through pid/p1,
/// one base material per distinct colour in the order the colours first appear. Written to `temporaryPath`.
void writeFaceColoured3mf(const std::string& temporaryPath, const MeshView& mesh, const std::vector<Rgba>& colours);

} // namespace meshprobe::detail
