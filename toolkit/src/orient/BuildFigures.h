// SPDX-License-Identifier: MIT
// What a build direction costs besides trapped material: support area, islands, height and footprint.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "meshprobe/Mesh.h"
#include "meshprobe/Orientation.h"

namespace meshprobe::detail {

/// The figures of one build direction, mm and mm².
struct BuildFigureValues {
    double overhangArea = 0.0;
    std::size_t islands = 0;
    /// Where each island starts: the mean of its lowest vertices, model frame, in vertex order.
    std::vector<std::array<double, 3>> islandPoints;
    double buildHeight = 0.0;
    double footprint = 0.0;
};

/// Measures build directions over one mesh. Everything that does not depend on the direction (face
/// normals and areas, the height tolerance) is computed once; each direction then costs one pass over the
/// vertices, the faces and their edges. The mesh is kept by reference and must share vertices between
/// faces (as imported meshes do): islands follow the edges.
class BuildFigures {
public:
    explicit BuildFigures(const MeshView& mesh);

    /// @param up            the build direction, a unit vector in the model's frame
    /// @param overhangAngle degrees from the horizontal below which a downward face needs support (0..90)
    BuildFigureValues measure(const Direction& up, double overhangAngle) const;

private:
    MeshView mesh;
    /// Per face: the normal scaled by the face's area.
    std::vector<std::array<double, 3>> areaNormals;
    /// Heights closer than this are one level, mm: a millionth of the part's box diagonal covers the
    /// rounding of float coordinates turned in double.
    double tolerance = 0.0;
};

} // namespace meshprobe::detail
