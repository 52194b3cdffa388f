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

struct OrientOptions {
    /// Voxels along the longest side of the turned part's box, 1..1290.
    int resolution = 256;
    /// 6, 26 or any count (see candidateDirections).
    int directions = 26;
    /// Directions analysed at once; 0 means one per core. Each direction runs on one thread.
    int threads = 0;
    /// Progress over all directions; false cancels.
    ProgressCallback progress;
};

/// The trapped air for one build direction.
struct OrientCandidate {
    Direction up;
    long long trappedVoxels = 0;
    /// mm³, single precision as the trapped-volume analysis sums it.
    float trappedVolume = 0.0f;
    /// The cavities' estimated true volumes summed, mm³ (see CavityReport::estimatedVolume): what the
    /// directions are ranked by, since the voxels alone miss more of a wall that the grid meets at a slant.
    double estimatedVolume = 0.0;
    std::size_t cavities = 0;
    /// Edge of one voxel of this direction's grid, mm.
    double voxelSize = 0.0;
    /// Voxels along the longest side of the turned part's box (OrientOptions::resolution).
    int resolution = 0;
};

/// The candidates sorted best first: least estimated trapped volume, then fewest cavities, then input order.
struct OrientResult {
    std::vector<OrientCandidate> candidates;
};

/// Runs the trapped-volume analysis for every candidate direction over one view of the mesh.
/// @throw InputError invalid view or options; Error as trappedVolumes; Cancelled
OrientResult orient(const MeshView& mesh, const OrientOptions& options = {});

} // namespace meshprobe
