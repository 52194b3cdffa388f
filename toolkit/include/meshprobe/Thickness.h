// SPDX-License-Identifier: MIT
// Wall thickness of every face, and the window statistics built on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "meshprobe/Export.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"

namespace meshprobe {

struct ThicknessOptions {
    /// Lower end of the thickness window, mm, finite, 0 <= min <= max.
    float min = 0.0f;
    /// Upper end of the window, mm, finite; also how far the rays look.
    float max = 1.0f;
    /// Rays per face: 0 none, 1..31 spread over the face, 32 or more one ray from the centroid.
    int samples = 31;
    /// Also compute a colour per face (red at min, through yellow, to green at max; faces with no wall
    /// closer than max are (0, 255, 128)): byte for byte the analysis' colour mode, computed from the one
    /// run's values (see ThicknessColours.h).
    bool colours = false;
    /// Worker threads of the ray pass; 0 means one per core. The values do not depend on it.
    int threads = 0;
    /// Progress of the whole call; false cancels. With colours, 0 to 95 while measuring and 95 to 100 while
    /// colouring.
    ProgressCallback progress;
};

struct ThicknessResult {
    /// Thickness of every face in face order, mm: bit for bit the values of the host library's thickness
    /// analysis; max for faces that found no wall within max.
    std::vector<float> perFace;
    /// The analysis' outcome: 1 on success (failures throw, so a returned result always holds 1).
    int status = 0;
    /// The analysis' outcome text ("Thickness analysis Successfully").
    std::string message;
    /// Faces whose thickness lies strictly inside (min, max), ascending: the faces the analysis selects.
    std::vector<std::uint32_t> selectedFaces;
    /// Number of faces whose value reached max (no wall closer than max).
    std::size_t facesAtMax = 0;
    /// Worker threads the ray pass used.
    int threads = 0;
    /// With options.colours: one colour per face in face order; empty otherwise.
    std::vector<Rgba> faceColours;
};

/// Measures every face's wall thickness: rays cast from the face into the solid along its inward normal;
/// the nearest other face, corrected for the angle between the two, gives the thickness. The rays run on
/// options.threads worker threads; the calling thread reports progress and cancels (within a few
/// milliseconds of a false answer). The colours, when asked for, are computed on the calling thread.
/// Faces must be wound counter-clockwise seen from outside. The rays run on the part centred on its box, so
/// the values do not depend on where the model placed it.
/// @throw InputError invalid view, a window that is not finite or has min > max or min < 0, or threads < 0
/// @throw Error when the analysis fails (with its message); Cancelled when the callback returned false
ThicknessResult thickness(const MeshView& mesh, const ThicknessOptions& options = {});

/// One bin of a thickness histogram: faces with from <= t < to (the first bin: t <= to).
struct HistogramBin {
    double from = 0.0; ///< mm
    double to = 0.0;   ///< mm
    std::size_t faces = 0;
};

/// The faces of a thickness result counted over the window: the first bin [0, min] holds the faces at or
/// below min; then `bins` equal bins [from, to) split the open window (min, max) and together hold exactly
/// the selected faces (none when min == max). Faces at max are not counted (see facesAtMax). Bin edges
/// are computed as (min * (bins - b) + max * b) / bins, so round windows keep round edges.
/// @param bins  at least 1
/// @throw InputError for fewer bins, or a window that is not finite or has min > max
std::vector<HistogramBin> thicknessHistogram(const std::vector<float>& perFace, float min, float max, int bins = 10);

} // namespace meshprobe
