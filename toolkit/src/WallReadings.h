// SPDX-License-Identifier: MIT
// What a thin face's value measured: the face across its wall, or a sharp corner beside it.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "meshprobe/Mesh.h"

namespace meshprobe::detail {

constexpr std::uint32_t noFace = std::numeric_limits<std::uint32_t>::max();

struct WallReading {
    /// The face on the other side of the wall (the nearest one the face's rays meet, by angle-corrected
    /// distance, that is not a sharp corner beside it), or noFace when no ray met one within max.
    std::uint32_t opposite = noFace;
    /// The face's value measures a sharp corner it shares a vertex with, not a wall: see wallReadings.
    bool crease = false;
};

/// Casts a few rays from each of `faces` along its inward normal, up to `max`, and reads what they meet.
/// A ray that starts beside a convex corner sharper than a right angle meets the face on the corner's other
/// side, at a distance that only says how close to the corner the ray started: on scans such readings go
/// down to thousandths of a millimetre on faces a millimetre wide. A face's value is called a crease
/// reading when
///   - a face that shares a vertex with it makes such a corner with it: their normals more than 90 and less
///     than 150 degrees apart (nearly opposite normals are the two sides of a tapering wall, a real wedge),
///     the other face behind its plane, and
///   - the value is below a quarter of the face's longest edge (a wall seen across a rounded rim reads about
///     the face's own size), and
///   - no ray met a wall within twice the value (so no wall explains it).
/// Rays start where the thickness rays start (2e-5 mm inside) and read distances the same way.
/// @param perFace  the thickness of every face
/// @param faces    the faces to read, each below mesh.triangleCount
std::vector<WallReading> wallReadings(const MeshView& mesh, const std::vector<float>& perFace,
                                      const std::vector<std::uint32_t>& faces, float max);

} // namespace meshprobe::detail
