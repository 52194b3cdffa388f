// SPDX-License-Identifier: MIT
// Checks of a mesh's soundness before an analysis, and the winding repair.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "meshprobe/Mesh.h"

namespace meshprobe {

/// One kind of defect found in a mesh.
struct MeshWarning {
    /// "open-edges", "non-manifold-edges", "inconsistent-winding", "inside-out", "several-bodies",
    /// "zero-area-faces", "beyond-single-precision".
    std::string code;
    /// How many edges, faces, shells or bodies are concerned.
    std::size_t count = 0;
    /// One sentence for a user.
    std::string text;
};

/// Checks a mesh: edges used by one face (holes) or by three or more, edges whose two faces run them the same
/// way, shells (edge-connected parts) that are inside out (enclosed volume of the wrong sign: an outer shell
/// must enclose a positive volume, a void nested in it a negative one; nesting is judged by bounding boxes),
/// more than one separate body, faces of zero area, and a part whose box's longest side exceeds a million
/// times its shortest edge of non-zero length (beyond what single-precision coordinates resolve, even with
/// the part centred as the analyses take it). Empty for a sound mesh. Linear in the mesh size (plus
/// shells squared for the nesting).
/// @throw InputError when the view is invalid
std::vector<MeshWarning> checkMesh(const MeshView& mesh);

struct WindingFix {
    Mesh mesh;
    /// Faces whose winding was reversed.
    std::size_t flippedFaces = 0;
};

/// Makes every shell's winding consistent (flooding across edges shared by exactly two faces from each
/// shell's first face) and then flips the shells that are inside out, as checkMesh judges them. Vertices
/// and face order are kept; only the order of corners within faces changes.
WindingFix fixWinding(const MeshView& mesh);

} // namespace meshprobe
