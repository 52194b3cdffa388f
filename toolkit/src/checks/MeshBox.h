// SPDX-License-Identifier: MIT
// The box of a mesh's vertices, in double: the one place the toolkit's measures take it from.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "meshprobe/Mesh.h"
#include "meshprobe/Orientation.h"

namespace meshprobe::detail {

struct MeshBox {
    std::array<double, 3> low{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::infinity()};
    std::array<double, 3> high{-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()};

    /// Length of the box's diagonal, mm; 0 for a mesh without vertices.
    double diagonal() const
    {
        if (!(low[0] <= high[0])) return 0.0;
        return std::hypot(high[0] - low[0], high[1] - low[1], high[2] - low[2]);
    }
};

inline MeshBox boxOf(const MeshView& mesh)
{
    MeshBox box;
    for (std::size_t v = 0; v < mesh.vertexCount; ++v)
        for (int k = 0; k < 3; ++k) {
            box.low[k] = std::min(box.low[k], double(mesh.vertices[3 * v + k]));
            box.high[k] = std::max(box.high[k], double(mesh.vertices[3 * v + k]));
        }
    return box;
}

/// The box of the mesh's vertices turned by `rotation` (each turned in double): the part's box in a frame
/// where a build direction is +z.
inline MeshBox turnedBoxOf(const MeshView& mesh, const Rotation& rotation)
{
    MeshBox box;
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        const float* p = mesh.vertices + 3 * v;
        const std::array<double, 3> q = rotation.apply({double(p[0]), double(p[1]), double(p[2])});
        for (int k = 0; k < 3; ++k) {
            box.low[k] = std::min(box.low[k], q[k]);
            box.high[k] = std::max(box.high[k], q[k]);
        }
    }
    return box;
}

} // namespace meshprobe::detail
