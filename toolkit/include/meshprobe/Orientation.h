// SPDX-License-Identifier: MIT
// Any build direction: parsing "--up" values, the rotation that takes "up" to +z, printer presets, and the
// search for the build direction that traps the least air.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"

namespace meshprobe {

/// A unit direction in the model's frame.
using Direction = std::array<double, 3>;

/// Parses "+z", "-z", "+x", "-x", "+y", "-y" or three comma-separated numbers ("0,0.2,1"), normalised.
/// @throw InputError naming the text: not three numbers, not finite, or the zero vector
Direction parseDirection(const std::string& text);

/// "+z" ... "-y" for the six axes, otherwise three comma-separated components with 4 significant digits,
/// ready to pass back to parseDirection.
std::string formatDirection(const Direction& up);

/// A proper rotation (determinant +1) as a row-major 3x3 matrix: rotated = R * model.
struct Rotation {
    std::array<double, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};

    std::array<double, 3> apply(const std::array<double, 3>& p) const;
    /// R^T * p: from the rotated frame back to the model's frame.
    std::array<double, 3> applyInverse(const std::array<double, 3>& p) const;
};

/// The shortest-arc rotation that takes `up` to +z. For -z (no shortest arc) it is the half turn about x.
/// For the six axes every entry is 0, 1 or -1, so rotating float coordinates by it is exact and equals the
/// axis placements of TrappedOptions::up.
Rotation rotationTakingToZ(const Direction& up);

/// The mesh with every vertex rotated (in double, rounded to float); triangles unchanged.
Mesh rotated(const MeshView& mesh, const Rotation& rotation);

/// A kind of printer and the model direction that points up, away from the build platform, as it builds.
struct PrinterPreset {
    std::string name;        ///< "bottom-up-resin", "top-down-resin", "powder", "fdm"
    Direction up;            ///< the direction --up gets, model frame as the part sits on the plate
    std::string explanation; ///< one line for help texts
};

/// The presets in a fixed order.
const std::vector<PrinterPreset>& printerPresets();

/// The preset of that name. @throw InputError naming the known presets
const PrinterPreset& printerPreset(const std::string& name);

/// Build directions to try: 6 gives the six axes, 26 the axes, the 12 edge and the 8 corner directions of
/// a cube; any other count at least 1 gives that many directions spread evenly over the sphere (Fibonacci
/// lattice), +z first when the count is 1. Exact axes are returned with exact components.
/// @throw InputError for a count below 1 or above 10000
std::vector<Direction> candidateDirections(int count);

/// What decides between build directions.
enum class OrientRanking {
    /// Least trapped material, no process in mind.
    TrappedMaterial,
    /// Top-down resin: no sealed cavity, then the least support area, then the lowest build.
    Resin,
    /// Bottom-up resin: no sealed cavity, no suction cup, then the least support area, then the lowest build.
    BottomUpResin,
    /// Powder bed: no sealed cavity, then the lowest build (the powder supports every overhang).
    Powder,
    /// Filament: the least support area, then the lowest build (uncured material cannot be trapped).
    Fdm,
};

/// The ranking a process profile's base ("bottom-up-resin", "top-down-resin", "powder", "fdm") calls for.
/// @throw InputError naming the known bases
OrientRanking rankingFor(const std::string& base);

struct OrientOptions {
    /// Voxels along the longest side of the turned part's box, 1..1290.
    int resolution = 256;
    /// 6, 26 or any count (see candidateDirections).
    int directions = 26;
    /// Directions analysed at once; 0 means one per core. Each direction runs on one thread.
    int threads = 0;
    /// Cavities below this volume (mm³) are noise, as are those of fewer than noiseVoxels voxels: they
    /// neither count nor rank. 0 or more.
    double minCavityVolume = 0.0;
    /// Faces facing down at less than this many degrees from the horizontal need support, 0..90 (a
    /// profile's overhangAngle).
    double overhangAngle = 45.0;
    /// What decides first (see OrientResult for ties); rankingFor gives a profile's.
    OrientRanking ranking = OrientRanking::TrappedMaterial;
    /// Rounds of refinement after the coarse pass, 0..4: each round tries 6 directions on a cone around each
    /// of the best 3 so far, the first round's cone half as wide as the coarse set's spacing (the widest
    /// angle from any direction to its nearest neighbour), each further round half the last. Directions
    /// within a quarter cone of one already tried are skipped.
    int refineRounds = 0;
    /// Progress over all directions; false cancels.
    ProgressCallback progress;
};

/// Cavities of fewer voxels than this are noise: where a wall runs at a slant through the grid, single
/// voxels and pairs of air between its surface voxels count as enclosed. A 2 x 2 x 2 block is the smallest
/// pocket the grid resolves on every axis.
constexpr long long noiseVoxels = 8;

/// What one build direction traps and costs.
struct OrientCandidate {
    Direction up;
    /// Every cavity of the analysis, noise included: voxels and mm³ (single precision as the
    /// trapped-volume analysis sums it).
    long long trappedVoxels = 0;
    float trappedVolume = 0.0f;
    /// The counted cavities' estimated true volumes summed, mm³ (see CavityReport::estimatedVolume), since
    /// the voxels alone miss more of a wall that the grid meets at a slant. Noise left out.
    double estimatedVolume = 0.0;
    /// Cavities that count (not noise), and of them the sealed ones and their estimated volume, mm³.
    std::size_t cavities = 0;
    std::size_t sealedCavities = 0;
    double sealedVolume = 0.0;
    /// Cavities left out as noise (below noiseVoxels voxels or OrientOptions::minCavityVolume).
    std::size_t noiseCavities = 0;
    /// Bottom-up resin (OrientRanking::BottomUpResin) only: suction cups (air open only toward the vat, or
    /// closed by the plate where the rim sits on it, as check finds them), noise left out as for cavities,
    /// and their estimated volume, mm³. 0 for other rankings, which do not look for them.
    std::size_t suctionCups = 0;
    double suctionCupVolume = 0.0;
    /// Area of the faces that need support (OrientOptions::overhangAngle), faces on the plate left out, mm².
    double overhangArea = 0.0;
    /// Regions that start in mid-air: flat groups of vertices no edge leaves downward, off the plate.
    std::size_t islands = 0;
    /// Where each island starts: the mean of its lowest vertices, model frame, mm (one per island).
    std::vector<std::array<double, 3>> islandPoints;
    /// Extent of the part along the direction, mm.
    double buildHeight = 0.0;
    /// Area of the faces on the plate (at the part's lowest height), mm².
    double footprint = 0.0;
    /// Edge of one voxel of this direction's grid, mm.
    double voxelSize = 0.0;
    /// Voxels along the longest side of the turned part's box (OrientOptions::resolution).
    int resolution = 0;
};

/// The candidates sorted best first by the ranking's criteria in order. Figures closer than the
/// measurement's noise tie, measured on the coarsest grid's voxel: volumes within one voxel layer over a cube
/// of that volume (V^(2/3) voxel, at least noiseVoxels voxels), areas within 5 % (at least noiseVoxels
/// voxel faces), heights within one voxel. Ties form groups from the least figure up (the least and all
/// within its noise, then the least of the rest ...). Ties go to axis directions, then the lower build,
/// then input order.
struct OrientResult {
    std::vector<OrientCandidate> candidates;
    /// Whether the candidates' suction cups were looked for (bottom-up resin).
    bool suctionCupsMeasured = false;
    /// Directions --refine added around the best of the coarse pass, in the order they were tried; all of
    /// them are among the candidates.
    std::vector<Direction> refined;
    /// Why the first beat the second: the first criterion that told them apart, with both figures. Empty
    /// with fewer than two candidates.
    std::string reason;
};

/// Runs the trapped-volume analysis and measures supports, islands, height and footprint for every
/// candidate direction over one view of the mesh, then ranks them.
/// @throw InputError invalid view or options; Error as trappedVolumes; Cancelled
OrientResult orient(const MeshView& mesh, const OrientOptions& options = {});

} // namespace meshprobe
