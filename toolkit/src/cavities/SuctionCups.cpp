// SPDX-License-Identifier: MIT
// Suction cups: the cavity analysis of the part and its build plate, run for the opposite direction.
#include "toolkit/src/cavities/SuctionCups.h"

#include <algorithm>

#include "toolkit/src/checks/MeshBox.h"

namespace meshprobe::detail {

namespace {

using Point = std::array<double, 3>;

/// Appends a closed box, given in the turned frame, to the mesh in the model's frame.
void appendPlate(Mesh& mesh, const MeshBox& plate, const Rotation& rotation)
{
    const auto base = static_cast<std::uint32_t>(mesh.vertexCount());
    for (int corner = 0; corner < 8; ++corner) {
        const Point turned{corner & 1 ? plate.high[0] : plate.low[0], corner & 2 ? plate.high[1] : plate.low[1],
                           corner & 4 ? plate.high[2] : plate.low[2]};
        const Point model = rotation.applyInverse(turned);
        for (int k = 0; k < 3; ++k)
            mesh.vertices.push_back(static_cast<float>(model[k]));
    }
    // Corner index = x + 2y + 4z; each side as two triangles wound counter-clockwise seen from outside (the
    // rotation is proper, so the winding survives the way back to the model's frame).
    constexpr std::uint32_t sides[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                            {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
    for (const auto& side : sides)
        for (std::uint32_t corner : side)
            mesh.triangles.push_back(base + corner);
}

} // namespace

// A suction cup is air that, in the printer's frame, can leave only toward the vat: while a layer is peeled
// off the vat film, nothing can flow in behind it, and the cup pulls on the part. Turning the printer's frame
// upside down makes "leaves only toward the vat" into "leaves only by rising": exactly what the trapped-air
// analysis finds when run for the opposite build direction. The build plate closes a cup whose rim sits on it
// (a channel through the part, open at both ends, is a cup while its top end is glued to the plate), so the
// plate is added to the mesh as a slab over the part's footprint, touching the part's highest point. In that
// run, cavities sealed on every side are the part's own sealed cavities (reported already) or pockets the
// plate closes toward itself (air open toward the plate, not toward the vat): only the open ones are cups.
SuctionCups findSuctionCups(const MeshView& mesh, const Direction& up, int resolution, int threads, long long minVoxels,
                            double minVolume, const ProgressCallback& progress)
{
    const Rotation toPrinter = rotationTakingToZ(up);
    const MeshBox part = turnedBoxOf(mesh, toPrinter);
    const double longest =
        std::max({part.high[0] - part.low[0], part.high[1] - part.low[1], part.high[2] - part.low[2]});
    MeshBox plate = part;
    plate.low[2] = part.high[2];
    // Two voxels thick, so that the plate has a voxel of material of its own at any resolution.
    plate.high[2] = part.high[2] + 2.0 * longest / resolution;

    Mesh withPlate;
    withPlate.vertices.assign(mesh.vertices, mesh.vertices + 3 * mesh.vertexCount);
    withPlate.triangles.assign(mesh.triangles, mesh.triangles + 3 * mesh.triangleCount);
    appendPlate(withPlate, plate, toPrinter);

    CavityOptions options;
    options.resolution = resolution;
    options.up = {-up[0], -up[1], -up[2]};
    options.threads = threads;
    options.minVolume = minVolume;
    options.minVoxels = minVoxels;
    options.solids = false;
    options.progress = progress;
    CavitiesResult run = findCavities(withPlate, options);
    SuctionCups result;
    result.tinyCavities = run.tinyCavities;
    for (CavityReport& cavity : run.cavities)
        if (!cavity.closed) result.cups.push_back(std::move(cavity));
    return result;
}

} // namespace meshprobe::detail
