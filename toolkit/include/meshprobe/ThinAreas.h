// SPDX-License-Identifier: MIT
// Thin areas: the faces of a thickness result thinner than the window's upper end, grouped into connected
// regions (the two sides of a wall together) with their size, thickness figures and location.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"
#include "meshprobe/Thickness.h"

namespace meshprobe {

/// How far below max a face's value may lie and still count as "no thinner than max", mm. The rays start
/// 2e-5 mm inside the surface, so a wall of exactly max measures about max - 2e-5; this is five times that,
/// far below what any printer resolves.
constexpr float wallLimitTolerance = 1e-4f;

/// True when a face's thickness `t` lies inside the window as a user means it: t > min and t is thinner
/// than max by more than wallLimitTolerance (the faces the window selects).
bool isThin(float t, float min, float max);

/// True when a face's wall is thin: thinner than max by more than wallLimitTolerance, however far below
/// the window's lower end (min only sets where a colour scale starts).
bool isThinWall(float t, float max);

/// The counts as a user reads them: faces with a thin wall (isThinWall), faces inside the window (isThin),
/// faces counted at max (no wall thinner than max - wallLimitTolerance), and the histogram of
/// thicknessHistogram with those faces moved to max.
struct ThinCounts {
    std::size_t thin = 0;
    std::size_t window = 0;
    std::size_t atMax = 0;
    std::vector<HistogramBin> bins;
};
ThinCounts thinCounts(const std::vector<float>& perFace, float min, float max, int bins = 10);

/// Areas smaller than this are dropped by default, mm² (of the mesh as measured, after any unit
/// conversion). On scans (armadillo, window 0 to 1.5 mm) the patches under 1 mm² are one or two faces
/// whose neighbours all read max or more; a patch under 1 mm² is also too small to print as a wall of its
/// own. The corner readings that made up the smallest patches there are crease readings (see dropCreases),
/// left out whatever their size.
constexpr double defaultMinThinArea = 1.0;

struct ThinAreaOptions {
    /// The thickness window, mm (the one the values were measured with). Faces thinner than max are thin,
    /// also those at or below min.
    float min = 0.0f;
    float max = 1.0f;
    /// Areas whose surface is below this are dropped (counted in droppedAreas), mm².
    double minArea = defaultMinThinArea;
    /// Join the two sides of a wall: a thin face and the thin face its rays meet across the wall belong
    /// to one area, so a fin is one area, not two.
    bool joinWallSides = true;
    /// Leave out crease readings (see ThinArea): such faces belong to no area; they are counted in
    /// creaseFaces, their edge-connected patches in creaseAreas.
    bool dropCreases = true;
    /// Threads that cast the wall-reading rays and build the mesh's edge adjacency; 0 means one per core.
    /// The areas do not depend on it.
    int threads = 0;
    /// Progress 0..100 (the wall readings to 70, grouping the faces to 95, the measures to 100); returning
    /// false stops the call with Cancelled.
    ProgressCallback progress;
};

/// One connected region of thin faces: edge-connected patches, joined with the patches across their wall.
/// Faces whose value is a crease reading are in no area.
///
/// A crease reading is a face's value that no wall explains: none of a grid of 25 rays cast from the face
/// meets a wall within twice the value plus a quarter of the face's longest edge (a face sharing a vertex
/// with it, met closer than that quarter, with normals less than 150 degrees apart, is a corner, not a
/// wall). Such values come from rays that started beside a convex corner sharper than a right angle (they
/// meet the face on the corner's other side, so the value only says how close to the corner the ray
/// started: on scans down to thousandths of a millimetre on faces a millimetre wide), or that started on
/// the wrong side of the surface (far from the origin, as on a part read in cm, the rays' small start inside
/// the surface is lost in float rounding). The rule depends on the faces' own size and on what lies across
/// them, so it judges a part the same in any unit.
struct ThinArea {
    /// 1, 2, ... in the order of the areas kept.
    int id = 0;
    /// Face indices: patch by patch (in the order of their seeds), each patch's seed first, then breadth
    /// first.
    std::vector<std::uint32_t> faces;
    /// Surface of the faces, mm².
    double area = 0.0;
    /// Smallest per-face value of the area, mm, and the face it belongs to.
    float minThickness = 0.0f;
    std::uint32_t thinnestFace = 0;
    /// Median per-face value, mm (the lower middle value for an even count, so always a face's own).
    float medianThickness = 0.0f;
    /// Faces at or below the window's lower end.
    std::size_t facesBelowMin = 0;
    /// Area-weighted centroid of the faces, mm.
    std::array<double, 3> centroid{};
    /// Box around the faces' corners, mm.
    std::array<double, 3> boundsMin{};
    std::array<double, 3> boundsMax{};
};

/// The thinnest wall of a result: the smallest minThickness of the areas kept.
struct ThinnestWall {
    /// False when no area is kept: no wall is thinner than max (thickness is then max).
    bool found = false;
    float thickness = 0.0f;
    std::uint32_t face = 0;
    int area = 0; ///< the area's id; 0 when none was found
};

struct ThinAreasResult {
    /// Faces with a thin wall (isThinWall): in the areas kept or dropped, or crease readings.
    std::size_t thinFaces = 0;
    /// Faces inside the window (isThin): the window's count.
    std::size_t windowFaces = 0;
    /// The areas of at least minArea, largest first (ties: lower seed face first); ids follow this order.
    std::vector<ThinArea> areas;
    /// Areas below minArea, and their faces.
    std::size_t droppedAreas = 0;
    std::size_t droppedFaces = 0;
    /// Faces whose value is a crease reading (in no area, whatever the size), and their edge-connected
    /// patches.
    std::size_t creaseAreas = 0;
    std::size_t creaseFaces = 0;
    ThinnestWall thinnest;
};

/// Groups the faces of a thickness result thinner than max (isThinWall) into areas and measures each:
/// edge-connected patches (the marking-area grouping), joined across their walls (joinWallSides); crease
/// readings left out (dropCreases). The wall sides and crease readings come from 25 extra rays from each
/// thin face (through Embree, on the calling thread; the values themselves are never changed). Linear in
/// the mesh size plus n log n per area for the median and the rays of the thin faces.
/// @param perFace  one value per face in face order (ThicknessResult::perFace)
/// @throw InputError invalid view, perFace of the wrong size, a window that is not finite or has min > max,
///        a negative or non-finite minArea
ThinAreasResult thinAreas(const MeshView& mesh, const std::vector<float>& perFace, const ThinAreaOptions& options);

/// A thickness result and its thin areas.
struct ThicknessWithAreas {
    ThicknessResult thickness;
    ThinAreasResult areas;
};

/// thickness(mesh, thicknessOptions), then thinAreas(mesh, its perFace, areaOptions), with the same results
/// as the two calls. On two or more threads (thicknessOptions.threads) the ray scene of the wall readings,
/// which depends on the mesh alone, is built on a thread of its own beside the thickness rays instead of
/// afterwards on the calling thread alone. That scene then takes its memory (about 200 bytes per triangle)
/// during the thickness rays too, and is built even when no face turns out thin.
/// @throw what thickness and thinAreas throw; Cancelled from thicknessOptions.progress
ThicknessWithAreas thicknessWithThinAreas(const MeshView& mesh, const ThicknessOptions& thicknessOptions,
                                          const ThinAreaOptions& areaOptions);

} // namespace meshprobe
