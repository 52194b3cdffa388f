// SPDX-License-Identifier: MIT
// Trapped cavities a user can act on: where each one is, its surface as a closed solid, an estimate of its
// true volume and, on request, where to drill. Built on trappedVolumes for any build direction.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "meshprobe/DrainHoles.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Progress.h"

namespace meshprobe {

struct CavityOptions {
    /// Voxels along the longest side of the (rotated) part's box, 1..1290.
    int resolution = 256;
    /// The model direction that points up while printing, unit (see parseDirection, printerPreset).
    Direction up{0.0, 0.0, 1.0};
    /// Worker threads; 0 means one per core.
    int threads = 0;
    /// Cavities below this volume (mm³), or of fewer voxels than minVoxels, are counted in
    /// tinyCavities/tinyVolume and not listed.
    double minVolume = 0.0;
    long long minVoxels = 0;
    /// Build Cavity::solid, the closed surface of each listed cavity.
    bool solids = true;
    /// Keep Cavity::columns, the analysis' own upright column triangles.
    bool columns = false;
    /// Suggest drain holes of this diameter (mm) for each listed cavity; 0 = none. At most the diagonal of
    /// the part's box. A hole is a cylinder of this diameter that fits the cavity where it starts, runs
    /// through material only and never leaves through the faces the part stands on in the build direction.
    double drainHoleDiameter = 0.0;
    /// Progress of the whole call; false cancels.
    ProgressCallback progress;
};

/// One connected region of trapped air, located in the model's frame (mm, mm³).
struct CavityReport {
    /// 1, 2, ... in the order the analysis finds the cavities (lowest layer first); tiny ones keep their
    /// number, so the listed numbers may have gaps.
    int number = 0;
    /// Sealed on all sides ("Closed") or opening upward or at the part's edge ("Open").
    bool closed = false;
    std::string name() const { return closed ? "Closed" : "Open"; }
    long long voxels = 0;
    /// The analysis' own volume: voxels times the voxel volume, single precision.
    float volume = 0.0f;
    /// An estimate of the true volume: the voxel volume plus half a voxel behind every face where the cavity
    /// meets other voxels of the part's box (the wall runs through the surface voxels there, on average
    /// through their middle). Faces on the edge of the part's box add nothing. Where an open cavity meets
    /// air that drains, the estimate counts half a voxel too much there.
    double estimatedVolume = 0.0;
    /// Box of the cavity's voxels, model frame.
    std::array<double, 3> boundsMin{};
    std::array<double, 3> boundsMax{};
    /// Centre of the cavity's volume.
    std::array<double, 3> centroid{};
    /// Centre of the cavity's lowest layer of voxels, on its lower face, and of its highest layer, on its
    /// upper face: where liquid collects and where air gathers.
    std::array<double, 3> lowestPoint{};
    std::array<double, 3> highestPoint{};
    /// Heights of those two points along the up direction (their dot product with it).
    double lowestHeight = 0.0;
    double highestHeight = 0.0;
    /// Closed, manifold surface of the cavity's voxels wound outward (normals point from the air into the
    /// part); encloses exactly voxels times the voxel volume (up to the float rounding of its corners).
    /// Coplanar voxel faces are merged into rectangles without T-junctions. Empty unless CavityOptions::solids.
    Mesh solid;
    /// The analysis' upright column triangles, model frame. Empty unless CavityOptions::columns.
    Mesh columns;
    /// Suggested holes: a drain, and for sealed cavities also a vent. Only with drainHoleDiameter > 0; a
    /// cavity with no straight way out of that diameter that avoids the other cavities gets none.
    std::optional<DrainHole> drain;
    std::optional<DrainHole> vent;
    /// When a hole it needs (a drain, and a vent when sealed) of drainHoleDiameter fits nowhere: the largest
    /// diameter for which all of them fit, mm (within 1 %); 0 when no straight way out exists at any
    /// diameter. Unset when every hole was found or none was asked for.
    std::optional<double> largestHoleDiameter;
};

struct CavitiesResult {
    int resolution = 0;
    Direction up{0.0, 0.0, 1.0};
    int threads = 0;
    /// Edge of one voxel, mm.
    double voxelSize = 0.0;
    /// All trapped air, tiny cavities included.
    long long trappedVoxels = 0;
    float trappedVolume = 0.0f;
    std::size_t cavityCount = 0;
    /// Cavities at or above CavityOptions::minVolume and minVoxels.
    std::vector<CavityReport> cavities;
    /// Cavities below it, and their summed volume (mm³).
    std::size_t tinyCavities = 0;
    double tinyVolume = 0.0;
};

/// Finds the trapped cavities for any build direction: centres the mesh on its box and rotates it so that
/// `up` is +z (exactly for the six axes, which then agree bit for bit with trappedVolumes), runs the
/// analysis, and places every result back in the model's frame and coordinates.
/// @throw as trappedVolumes; InputError for a minVolume that is negative or not finite, or a
///        drainHoleDiameter outside 0 to the part's box diagonal (the message names the range)
CavitiesResult findCavities(const MeshView& mesh, const CavityOptions& options = {});

} // namespace meshprobe
