// SPDX-License-Identifier: MIT
// The search for a straight drill path from a cavity to the outside, in the frame the analysis ran in.
#pragma once

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

    /// The shortest straight path through material from the cavity's lowest region (a drain) or its
    /// highest region (a vent) to air that drains, among straight-down (straight-up for vents), sideways
    /// and 45° directions, preferring paths whose line a drill can follow from outside the part. Points in
    /// the placed frame. A path never leaves through the faces the part stands on (its lowest, in the placed
    /// frame) nor within half a diameter of them, where the plate covers the hole's mouth. Nothing when
    /// every candidate runs into another cavity, never leaves the part or ends at the plate.
    std::optional<DrainHole> find(std::size_t cavity, bool vent, double diameter) const;

private:
    /// Index of the cavity holding the voxel, or -1.
    int cavityAt(int x, int y, int z) const;
    int cavityAtPoint(const std::array<double, 3>& p) const;

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
