// SPDX-License-Identifier: MIT
#include "host/embree/AxisLineIndex.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace embree {

namespace {

// A triangle over more bins than this is kept in a list of its own instead of in every bin.
constexpr long kMaxBinsPerTriangle = 64;

} // namespace

AxisLineIndex::AxisLineIndex(const std::vector<float>& vertexPositions, const std::vector<unsigned>& triangleCorners,
                             float nearMargin)
    : positions(vertexPositions), corners(triangleCorners), margin(nearMargin)
{
    const std::size_t triangleCount = corners.size() / 3;
    // A sixteenth of the triangles' square root per side: most triangles fall into one bin, the counts stay
    // in the first-level cache while the triangles are sorted into bins, and a line checks the bounds of a
    // few hundred triangles of its bin, which costs far less than the scene that Embree then builds.
    binsPerAxis = std::clamp(static_cast<int>(std::sqrt(static_cast<double>(triangleCount)) / 16.0), 1, 256);
    // The grid spans every vertex, used or not: an unused one only makes the bins a little coarser.
    const std::size_t vertexCount = positions.size() / 3;
    for (int k = 0; k < 3; ++k) {
        float low = vertexCount ? positions[k] : 0.0f;
        float high = low;
        for (std::size_t v = 1; v < vertexCount; ++v) {
            low = std::min(low, positions[3 * v + k]);
            high = std::max(high, positions[3 * v + k]);
        }
        lo[k] = low;
        scale[k] = high > low ? binsPerAxis / (double(high) - double(low)) : 0.0;
    }
    std::vector<BinRange> ranges(triangleCount);
    for (std::size_t t = 0; t < triangleCount; ++t) {
        const Bounds box = boundsOf(static_cast<std::uint32_t>(t));
        for (int k = 0; k < 3; ++k) {
            ranges[t].lo[k] = static_cast<std::uint16_t>(binOf(k, box.lo[k]));
            ranges[t].hi[k] = static_cast<std::uint16_t>(binOf(k, box.hi[k]));
        }
    }
    for (int axis = 0; axis < 3; ++axis)
        fill(axis, ranges);
}

// Inline: the class's own members would be called through the shared library's symbol table.
inline AxisLineIndex::Bounds AxisLineIndex::exactBoundsOf(std::uint32_t triangle) const
{
    const unsigned* corner = &corners[3 * std::size_t(triangle)];
    const float* p[3] = {&positions[3 * std::size_t(corner[0])], &positions[3 * std::size_t(corner[1])],
                         &positions[3 * std::size_t(corner[2])]};
    Bounds b{};
    for (int k = 0; k < 3; ++k) {
        b.lo[k] = std::min(std::min(p[0][k], p[1][k]), p[2][k]);
        b.hi[k] = std::max(std::max(p[0][k], p[1][k]), p[2][k]);
    }
    return b;
}

inline AxisLineIndex::Bounds AxisLineIndex::boundsOf(std::uint32_t triangle) const
{
    Bounds b = exactBoundsOf(triangle);
    for (int k = 0; k < 3; ++k) {
        b.lo[k] -= margin;
        b.hi[k] += margin;
    }
    return b;
}

inline int AxisLineIndex::binOf(int axis, double coordinate) const
{
    const double t = (coordinate - lo[axis]) * scale[axis];
    if (!(t >= 0.0)) return 0; // also NaN
    if (t >= binsPerAxis) return binsPerAxis - 1;
    return static_cast<int>(t); // truncation: the floor of a value that is not negative
}

void AxisLineIndex::fill(int axis, const std::vector<BinRange>& ranges)
{
    const int a = (axis + 1) % 3;
    const int b = (axis + 2) % 3;
    const std::size_t binCount = std::size_t(binsPerAxis) * std::size_t(binsPerAxis);
    AxisBins& out = bins[axis];
    out.offsets.assign(binCount + 1, 0);
    const auto isLarge = [a, b](const BinRange& r) {
        return long(r.hi[a] - r.lo[a] + 1) * long(r.hi[b] - r.lo[b] + 1) > kMaxBinsPerTriangle;
    };

    // Counting sort in two passes over the triangles: bins list their triangles in increasing order.
    for (const BinRange& r : ranges)
        if (!isLarge(r))
            for (int i = r.lo[a]; i <= r.hi[a]; ++i)
                for (int j = r.lo[b]; j <= r.hi[b]; ++j)
                    ++out.offsets[std::size_t(i) * binsPerAxis + j + 1];
    for (std::size_t i = 0; i < binCount; ++i)
        out.offsets[i + 1] += out.offsets[i];
    out.entries.resize(out.offsets[binCount]);
    std::vector<std::uint32_t> next(out.offsets.begin(), out.offsets.end() - 1);
    for (std::size_t t = 0; t < ranges.size(); ++t) {
        const BinRange& r = ranges[t];
        if (isLarge(r)) {
            out.large.push_back(static_cast<std::uint32_t>(t));
            continue;
        }
        for (int i = r.lo[a]; i <= r.hi[a]; ++i)
            for (int j = r.lo[b]; j <= r.hi[b]; ++j)
                out.entries[next[std::size_t(i) * binsPerAxis + j]++] = static_cast<std::uint32_t>(t);
    }
}

void AxisLineIndex::trianglesNear(int axis, const float point[3], std::vector<unsigned>& out) const
{
    const int a = (axis + 1) % 3;
    const int b = (axis + 2) % 3;
    const AxisBins& axisBins = bins[axis];
    const std::size_t bin = std::size_t(binOf(a, point[a])) * binsPerAxis + binOf(b, point[b]);
    const std::size_t first = out.size();
    const auto addIfNear = [&](std::uint32_t t) {
        const Bounds box = boundsOf(t);
        if (box.lo[a] <= point[a] && point[a] <= box.hi[a] && box.lo[b] <= point[b] && point[b] <= box.hi[b])
            out.push_back(t);
    };
    for (std::uint32_t e = axisBins.offsets[bin]; e < axisBins.offsets[bin + 1]; ++e)
        addIfNear(axisBins.entries[e]);
    for (std::uint32_t t : axisBins.large)
        addIfNear(t);
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}

bool AxisLineIndex::onABound(const float origin[3], const std::vector<unsigned>& triangles) const
{
    for (unsigned t : triangles) {
        const Bounds box = exactBoundsOf(t);
        double size = 0.0;
        for (int k = 0; k < 3; ++k)
            size = std::max(size, double(box.hi[k]) - double(box.lo[k]));
        // Embree's test rounds in the triangle's own scale: a few units of the last place of its size.
        const double tolerance = 4.0 * FLT_EPSILON * size;
        for (int k = 0; k < 3; ++k)
            if (std::fabs(double(origin[k]) - box.lo[k]) <= tolerance ||
                std::fabs(double(origin[k]) - box.hi[k]) <= tolerance)
                return true;
    }
    return false;
}

} // namespace embree
