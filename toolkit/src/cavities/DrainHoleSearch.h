// SPDX-License-Identifier: MIT
// The search for a straight drill path of a given diameter from a cavity to the outside, in the frame the
// analysis ran in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "meshprobe/DrainHoles.h"
#include "toolkit/src/cavities/CavityVoxels.h"
#include "toolkit/src/cavities/RayScene.h"

namespace meshprobe::detail {

class DrainHoleSearch {
public:
    /// @param placed    the mesh as the analysis saw it (up is +z); kept by reference
    /// @param cavities  every cavity of the analysis, tiny ones included (a drill must avoid them all)
    DrainHoleSearch(const Mesh& placed, const VoxelGrid& grid, const std::vector<CavityVoxels>& cavities);

    /// The shortest straight hole of `diameter` through material from the cavity's lowest region (a drain)
    /// or its highest region (a vent) to air that drains, among straight-down (straight-up for vents),
    /// sideways and 45° directions, preferring holes whose line a drill can follow from outside the part.
    /// The hole is a cylinder, not a line:
    /// - at its start the cavity's voxels hold a disc of the diameter across the drill (half a voxel of
    ///   slack, as the voxels stop short of the walls), as low (for vents: as high) as such a disc fits,
    ///   its rim then lowered onto the cavity's floor (raised to its ceiling);
    /// - no voxel of another cavity lies within the cylinder, nor of its own cavity beyond the mouth;
    /// - its axis and rim lines all leave the part into air that is no cavity, none of them on the faces the
    ///   part stands on (its lowest, in the placed frame), and the axis at least half a diameter above them,
    ///   where the plate would cover the mouth.
    /// Points in the placed frame. Nothing when no direction passes.
    std::optional<DrainHole> find(std::size_t cavity, bool vent, double diameter) const;

    /// The largest diameter up to `limit` for which find() gives a hole, to 1 % of `limit` or 0.01 mm
    /// (bisection: a narrower drill fits wherever a wider one does, up to the voxels). 0 when not even a
    /// drill of a tenth of a voxel fits.
    double largestDiameter(std::size_t cavity, bool vent, double limit) const;

private:
    using Point = std::array<double, 3>;

    /// Index of the cavity holding the voxel, or -1.
    int cavityAt(int x, int y, int z) const;
    int cavityAtPoint(const Point& p) const;
    /// Offsets across the drill direction `d` covering a disc of radius r: rings `spacing` apart from r
    /// inward, then the centre.
    std::vector<Point> discSamples(const Point& d, double r, double spacing) const;
    /// The start in the cavity where the disc across `d` fits, lowest (vents: highest) layer first and
    /// nearest the layer's centre, or nothing.
    std::optional<Point> startFor(std::size_t cavity, bool vent, const Point& d, double diameter) const;
    /// Moves a start found on the voxels down (vents: up) until the hole's rim meets the cavity's floor
    /// (ceiling), which the voxels stop short of: a hole above the floor leaves a layer behind.
    void settle(Point& start, bool vent, const Point& d, double diameter) const;
    /// The hole from `origin` along `d`, or nothing when the cylinder breaks a rule of find().
    std::optional<DrainHole> holeFrom(std::size_t cavity, const Point& origin, const Point& d, double diameter) const;

    const VoxelGrid& grid;
    const std::vector<CavityVoxels>& cavities;
    RayScene scene;
    /// Height of the part's lowest point in the placed frame: the build plate.
    double plateHeight = 0.0;
    /// Per grid column (x, y): the cavity runs in it and their cavity.
    struct ColumnRun {
        int z0, z1, cavity;
    };
    std::unordered_map<std::uint64_t, std::vector<ColumnRun>> columns;
};

} // namespace meshprobe::detail
