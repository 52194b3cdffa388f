// SPDX-License-Identifier: MIT
// What a thin face's value measured: the face across its wall, or a sharp corner beside it.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "meshprobe/Mesh.h"
#include "meshprobe/detail/ProgressSlice.h"

namespace meshprobe::detail {

class RayScene;

constexpr std::uint32_t noFace = std::numeric_limits<std::uint32_t>::max();

struct WallReading {
    /// The face on the other side of the wall (the nearest one the face's rays meet, by angle-corrected
    /// distance, that is not a sharp corner beside it), or noFace when no ray met one within max.
    std::uint32_t opposite = noFace;
    /// The face's value measures a sharp corner it shares a vertex with, not a wall: see wallReadings.
    bool crease = false;
};

/// Casts a grid of 25 rays from each of `faces` along its inward normal, up to `max`, and reads what they
/// meet. A face's value is a crease reading when no wall explains it: none of these rays meets a wall
/// within twice the value plus a quarter of the face's longest edge. Such values come from a ray of the
/// analysis that started beside a convex corner sharper than a right angle (it meets the face on the
/// corner's other side, at a distance that only says how close to the corner it started: on scans down to
/// thousandths of a millimetre on faces a millimetre wide), or that started on the wrong side of the
/// surface (beyond about 160 mm from the origin its 2e-5 mm start is lost in float rounding, and faces read
/// millionths of a millimetre). A face sharing a vertex, met closer than a quarter of the longest edge with
/// normals less than 150 degrees apart, is such a corner, never a wall; nearly opposite normals are the two
/// sides of a tapering wall (a wedge), and a face met further off is the other side of a rounded rim.
/// These rays start far enough inside to be resolved at the face's coordinates.
/// @param perFace  the thickness of every face
/// @param faces    the faces to read, each below mesh.triangleCount
/// @param threads  threads that cast the rays (at least one); the readings do not depend on it
/// @param scene    the mesh's ray scene when the caller has one; otherwise one is built here
/// @param progress the share of the caller's progress the rays report to
/// @throw Cancelled when the progress callback answers false
std::vector<WallReading> wallReadings(const MeshView& mesh, const std::vector<float>& perFace,
                                      const std::vector<std::uint32_t>& faces, float max, int threads,
                                      const RayScene* scene = nullptr, const ProgressSlice& progress = {});

} // namespace meshprobe::detail
