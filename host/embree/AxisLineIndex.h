// SPDX-License-Identifier: MIT
// Triangles near an axis-parallel line, found through one 2D bin grid per axis.
#pragma once

#include <cstdint>
#include <vector>

namespace embree {

/// For each axis k, the triangles binned by their bounds on the other two axes. A line parallel to axis k
/// through (a, b) can come near a triangle only where the triangle's bounds, widened by `margin`, hold
/// (a, b); trianglesNear lists exactly those triangles.
class AxisLineIndex {
public:
    /// @param positions  three floats per vertex
    /// @param corners    three vertex positions per triangle
    /// @param margin     how far beyond its bounds a triangle still counts as near
    AxisLineIndex(const std::vector<float>& positions, const std::vector<unsigned>& corners, float margin);

    /// Appends, in increasing order, every triangle whose widened bounds hold the line along `axis`
    /// through `point` (the point's coordinate along `axis` is ignored).
    void trianglesNear(int axis, const float point[3], std::vector<unsigned>& out) const;

    /// Whether a coordinate of `origin` lies on one of the listed triangles' bounds, or within rounding of
    /// it: there Embree's answer may depend on how its tree groups the triangles.
    bool onABound(const float origin[3], const std::vector<unsigned>& triangles) const;

private:
    struct Bounds {
        float lo[3];
        float hi[3];
    };
    struct AxisBins {
        std::vector<std::uint32_t> offsets; ///< triangles of bin i: entries[offsets[i] .. offsets[i + 1])
        std::vector<std::uint32_t> entries;
        std::vector<std::uint32_t> large; ///< triangles over too many bins, checked for every line
    };

    /// Bins of a triangle's widened bounds on each axis: from lo[k] to hi[k].
    struct BinRange {
        std::uint16_t lo[3];
        std::uint16_t hi[3];
    };

    Bounds exactBoundsOf(std::uint32_t triangle) const;
    /// The exact bounds widened by the margin.
    Bounds boundsOf(std::uint32_t triangle) const;
    /// Bin of a coordinate on axis `axis`, clamped to the grid. It never decreases as the coordinate grows,
    /// so a point inside a triangle's bounds falls into a bin of the triangle's bin range.
    int binOf(int axis, double coordinate) const;
    void fill(int axis, const std::vector<BinRange>& ranges);

    const std::vector<float>& positions;
    const std::vector<unsigned>& corners;
    float margin;
    int binsPerAxis = 1;
    double lo[3] = {};
    double scale[3] = {};
    AxisBins bins[3];
};

} // namespace embree
