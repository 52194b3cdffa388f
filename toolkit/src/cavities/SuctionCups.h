// SPDX-License-Identifier: MIT
// Suction cups of bottom-up resin printing for one build direction: the part with the build plate added,
// analysed upside down.
#pragma once

#include <cstddef>
#include <vector>

#include "meshprobe/Cavities.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Progress.h"

namespace meshprobe::detail {

struct SuctionCups {
    /// The cups, located in the model's frame; run upside down, so a cup's highest point is its rim toward
    /// the vat and its lowest point its top as printed.
    std::vector<CavityReport> cups;
    /// Cups and plate pockets below the noise limits, left out.
    std::size_t tinyCavities = 0;
};

/// The suction cups of the part built toward `up`, cups of fewer than `minVoxels` voxels or below `minVolume`
/// mm³ left out. One cavity analysis at `resolution` on `threads` threads.
/// @throw as findCavities
SuctionCups findSuctionCups(const MeshView& mesh, const Direction& up, int resolution, int threads, long long minVoxels,
                            double minVolume, const ProgressCallback& progress);

} // namespace meshprobe::detail
