// SPDX-License-Identifier: MIT
// The printability verdict of a part for a process: every rule of the profile applied, each problem a
// finding with its place, its measure against the limit and the fix.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "meshprobe/DrainHoles.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/MeshChecks.h"
#include "meshprobe/Profile.h"
#include "meshprobe/Progress.h"

namespace meshprobe {

enum class Verdict { Pass, Warn, Fail };

/// "pass", "warn", "fail".
std::string toString(Verdict verdict);

/// One problem found, located in the model's frame.
struct Finding {
    /// Stable code: "thin_wall", "trapped" (sealed cavity), "pocket" (open cavity holding material),
    /// "suction_cup", "supports" (faces that need support, a note), "open_mesh", "inside_out", "inconsistent_winding",
    /// "non_manifold", "several_bodies", "zero_area_faces", "not_analysed".
    std::string code;
    /// Info, Warn or Fail (never Ignore).
    Severity severity = Severity::Info;
    /// One sentence for a user: what and how much.
    std::string message;
    /// Where it is, mm; none for findings about the whole mesh.
    std::optional<std::array<double, 3>> where;
    /// The figure measured and the limit it was held against, in `unit` ("mm", "mm²", "mm³" or "" for a
    /// count). No limit for findings that fail or warn by their mere presence.
    std::optional<double> measure;
    std::optional<double> limit;
    std::string unit;
    /// Thin walls: the area's surface, mm². Cavities and cups: their box's size along x, y, z, mm.
    std::optional<double> area;
    std::optional<std::array<double, 3>> size;
    /// What to do about it.
    std::string fix;
    /// Suggested holes for sealed cavities and cups (profile's drain diameter), when a straight one exists.
    std::optional<DrainHole> drain;
    std::optional<DrainHole> vent;
    /// Sealed cavities with no hole of the profile's drain diameter: the largest diameter that fits, mm (0
    /// when no straight way out exists at any diameter; see CavityReport::largestHoleDiameter).
    std::optional<double> largestHole;
};

struct CheckOptions {
    /// Voxels along the longest side of the part's box for the cavity and suction-cup analyses, 1..1290.
    int resolution = 256;
    /// Worker threads; 0 means one per core.
    int threads = 0;
    /// Repair the winding (fixWinding) before checking; the repaired mesh is what gets analysed.
    bool fixWinding = false;
    /// Progress of the whole call; false cancels.
    ProgressCallback progress;
};

struct CheckResult {
    /// The heaviest finding: Fail if any fails, else Warn if any warns, else Pass.
    Verdict verdict = Verdict::Pass;
    /// Failures first, then warnings, then notes; within each, in the order the rules ran (mesh, walls,
    /// cavities, suction cups).
    std::vector<Finding> findings;
    /// The mesh checks as checkMesh reports them (after the repair when fixWinding was asked for).
    std::vector<MeshWarning> meshWarnings;
    /// Faces turned by fixWinding.
    std::size_t flippedFaces = 0;
    /// The thinnest wall found below the recommended wall, mm; none when no face is thinner.
    std::optional<double> thinnestWall;
    /// Edge of one voxel of the cavity analysis, mm (0 when it did not run).
    double voxelSize = 0.0;
    /// Cavities and cups smaller than the noise limit (8 voxels) that were left out.
    std::size_t ignoredTinyCavities = 0;
};

/// Checks a part against a process profile:
/// - mesh: holes (open_mesh) and inside-out shells fail, the other mesh warnings warn; an inside-out mesh is
///   not analysed further (its walls and cavities would be measured from the wrong side);
/// - walls: every thin area (ThinAreas.h) of faces thinner than recommendedWall, at least minThinArea large,
///   warns, or fails when its thinnest face is below minWall;
/// - cavities (trapped air for profile.up): sealed ones weigh profile.sealedCavity, with a drain and a vent of
///   drainDiameter where a straight hole exists; open pockets weigh profile.pocket;
/// - suction cups (profile.suctionCups): air open only toward the vat, fail above suctionCupVolume, warn below;
/// - supports: the area of the faces flatter than profile.overhangAngle facing down, off the plate, and the
///   regions that start in mid-air, as a note (as orient measures them).
/// Cavities and cups smaller than 8 voxels are voxel noise at walls and are left out.
/// Safe to call concurrently. Costs one thickness pass and one or two cavity analyses.
/// @throw InputError invalid view, profile or options; Error when an analysis fails; Cancelled
CheckResult check(const MeshView& mesh, const Profile& profile, const CheckOptions& options = {});

} // namespace meshprobe
