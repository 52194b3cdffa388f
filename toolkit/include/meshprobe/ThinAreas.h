// SPDX-License-Identifier: MIT
// Thin areas: the faces of a thickness result that lie inside the window, grouped into connected patches
// with their size, thickness figures and location.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "meshprobe/Mesh.h"
#include "meshprobe/Thickness.h"

namespace meshprobe {

/// How far below max a face's value may lie and still count as "no thinner than max", mm. The rays start
/// 2e-5 mm inside the surface, so a wall of exactly max measures about max - 2e-5; this is five times that,
/// far below what any printer resolves.
constexpr float wallLimitTolerance = 1e-4f;

/// True when a face's thickness `t` lies inside the window as a user means it: t > min and t is thinner
/// than max by more than wallLimitTolerance.
bool isThin(float t, float min, float max);

/// The window's counts as a user reads them: faces thin by isThin, faces counted at max (no wall thinner
/// than max - wallLimitTolerance), and the histogram of thicknessHistogram with those faces moved to max.
struct ThinCounts {
    std::size_t thin = 0;
    std::size_t atMax = 0;
    std::vector<HistogramBin> bins;
};
ThinCounts thinCounts(const std::vector<float>& perFace, float min, float max, int bins = 10);

/// Areas smaller than this are dropped by default, mm². Measured on scans (window 0 to 1.5 mm): the
/// artefacts of rays that start beside a concave edge form patches of 2 to 4 faces below 1 mm² (armadillo:
/// 0.25, 0.56 and 0.98 mm², reading 0.006, 0.031 and 0.078 mm); the other patches under 1 mm² there are
/// one or two faces whose neighbours all read max or more, and the smallest area kept covers 1.2 mm². A
/// patch under 1 mm² is also too small to print as a wall of its own.
constexpr double defaultMinThinArea = 1.0;

struct ThinAreaOptions {
    /// The thickness window, mm (the one the values were measured with).
    float min = 0.0f;
    float max = 1.0f;
    /// Areas whose surface is below this are dropped (counted in droppedAreas), mm².
    double minArea = defaultMinThinArea;
};

/// One connected patch of thin faces.
struct ThinArea {
    /// 1, 2, ... in the order of the areas kept.
    int id = 0;
    /// Face indices, the seed first, then breadth first.
    std::vector<std::uint32_t> faces;
    /// Surface of the faces, mm².
    double area = 0.0;
    /// Smallest per-face value of the patch, mm, and the face it belongs to.
    float minThickness = 0.0f;
    std::uint32_t thinnestFace = 0;
    /// Median per-face value, mm (the lower middle value for an even face count, so always a face's own).
    float medianThickness = 0.0f;
    /// Area-weighted centroid of the faces, mm.
    std::array<double, 3> centroid{};
    /// Box around the faces' corners, mm.
    std::array<double, 3> boundsMin{};
    std::array<double, 3> boundsMax{};
};

struct ThinAreasResult {
    /// Faces that are thin by isThin, in all areas (kept or dropped).
    std::size_t thinFaces = 0;
    /// The areas of at least minArea, largest first (ties: lower seed face first); ids follow this order.
    std::vector<ThinArea> areas;
    /// Areas below minArea, and their faces.
    std::size_t droppedAreas = 0;
    std::size_t droppedFaces = 0;
};

/// Groups the thin faces of a thickness result (isThin over the window) into edge-connected areas (the
/// marking-area grouping) and measures each. Linear in the mesh size plus n log n per area for the median.
/// @param perFace  one value per face in face order (ThicknessResult::perFace)
/// @throw InputError invalid view, perFace of the wrong size, a window that is not finite or has min > max,
///        a negative or non-finite minArea
ThinAreasResult thinAreas(const MeshView& mesh, const std::vector<float>& perFace, const ThinAreaOptions& options);

} // namespace meshprobe
