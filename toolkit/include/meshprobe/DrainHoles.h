// SPDX-License-Identifier: MIT
// Drain holes and vents suggested for trapped cavities, and their drill cylinders as a mesh.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "meshprobe/Mesh.h"

namespace meshprobe {

/// A straight hole from a cavity's wall to the outside of the part. Model frame, mm.
struct DrainHole {
    /// "drain" (at the cavity's lowest region, so liquid or powder runs out) or "vent" (at the highest region
    /// of a sealed cavity, so air can follow).
    std::string kind;
    /// Where the drill meets the cavity wall.
    std::array<double, 3> wallPoint{};
    /// Where the drill leaves the part.
    std::array<double, 3> exitPoint{};
    /// Drilling direction, unit, from the outside in: from exitPoint towards wallPoint.
    std::array<double, 3> direction{};
    /// Material drilled through: the distance from exitPoint to wallPoint.
    double length = 0.0;
    /// Hole diameter asked for.
    double diameter = 0.0;
    /// The line beyond exitPoint leaves the part for good, so a drill can come straight from outside; holes
    /// whose line runs into the part again (an exit inside a recess) are suggested only when no other works.
    bool reachable = false;
};

/// One closed cylinder per hole (`segments` sides), from a little outside exitPoint to a little inside
/// wallPoint (a quarter diameter each way), all in one mesh, wound outward.
Mesh drainHoleCylinders(const std::vector<DrainHole>& holes, int segments = 24);

} // namespace meshprobe
