// SPDX-License-Identifier: MIT
// Mesh measurements straight on the caller's arrays: bounds, edge defects, area and volume.
#include "meshprobe/Inspect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "meshprobe/Error.h"
#include "toolkit/src/placement/AnalysisFrame.h"

namespace meshprobe {

namespace {

using Vec = std::array<double, 3>;

Vec cross(const Vec& a, const Vec& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vec minus(const Vec& a, const Vec& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

double dot(const Vec& a, const Vec& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

/// One face's use of an edge, 12 bytes: the edge list of a 1.2M-triangle scan is 43 MB, where a host mesh
/// with its topology would take 200 MB.
struct HalfEdge {
    std::uint32_t lo;         ///< smaller vertex index
    std::uint32_t hi;         ///< larger vertex index
    std::uint32_t faceAndDir; ///< face << 1 | (runs lo -> hi)

    std::uint32_t face() const { return faceAndDir >> 1; }
    bool forward() const { return (faceAndDir & 1u) != 0; }
    bool operator<(const HalfEdge& o) const
    {
        if (lo != o.lo) return lo < o.lo;
        if (hi != o.hi) return hi < o.hi;
        return faceAndDir < o.faceAndDir;
    }
};

/// Counts edges by the host mesh library's topology rules: one use is a border; two uses link the faces,
/// unless both are the same face (it then links to itself, a border twice), and are a bad edge when both
/// run the same way; three or more uses are one non-manifold edge.
void countEdges(const MeshView& view, MeshInfo& stats)
{
    const std::size_t n = view.triangleCount;
    if (n > (std::numeric_limits<std::uint32_t>::max() >> 1))
        throw InputError("mesh: " + std::to_string(n) + " triangles are more than edge counting can index");
    std::vector<HalfEdge> halfEdges;
    halfEdges.reserve(3 * n);
    for (std::size_t f = 0; f < n; ++f)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = view.triangles[3 * f + k];
            const std::uint32_t b = view.triangles[3 * f + (k + 1) % 3];
            halfEdges.push_back({std::min(a, b), std::max(a, b), static_cast<std::uint32_t>(f) << 1 | (a <= b)});
        }
    std::sort(halfEdges.begin(), halfEdges.end());

    for (std::size_t begin = 0; begin < halfEdges.size();) {
        std::size_t end = begin + 1;
        while (end < halfEdges.size() && halfEdges[end].lo == halfEdges[begin].lo &&
               halfEdges[end].hi == halfEdges[begin].hi)
            ++end;
        const HalfEdge& first = halfEdges[begin];
        if (end - begin == 1) {
            ++stats.borderEdges;
        } else if (end - begin == 2) {
            const HalfEdge& second = halfEdges[begin + 1];
            if (first.face() == second.face())
                stats.borderEdges += 2;
            else if (first.forward() == second.forward())
                ++stats.badEdges;
        } else {
            ++stats.nonManifoldEdges;
        }
        begin = end;
    }
}

} // namespace

MeshInfo inspect(const MeshView& view)
{
    validate(view);
    MeshInfo stats;
    stats.vertexCount = view.vertexCount;
    stats.triangleCount = view.triangleCount;

    stats.boundsMin.fill(view.vertexCount == 0 ? 0.0f : INFINITY);
    stats.boundsMax.fill(view.vertexCount == 0 ? 0.0f : -INFINITY);
    for (std::size_t v = 0; v < view.vertexCount; ++v)
        for (int a = 0; a < 3; ++a) {
            stats.boundsMin[a] = std::min(stats.boundsMin[a], view.vertices[3 * v + a]);
            stats.boundsMax[a] = std::max(stats.boundsMax[a], view.vertices[3 * v + a]);
        }

    const auto point = [&](std::size_t f, int k) {
        const float* p = view.vertices + 3 * static_cast<std::size_t>(view.triangles[3 * f + k]);
        return Vec{p[0], p[1], p[2]};
    };
    for (std::size_t f = 0; f < view.triangleCount; ++f) {
        const Vec p0 = point(f, 0), p1 = point(f, 1), p2 = point(f, 2);
        const Vec n = cross(minus(p1, p0), minus(p2, p0));
        stats.area += 0.5 * std::sqrt(dot(n, n));
        // Signed volume of the tetrahedron (origin, p0, p1, p2); the sum over a closed surface is its volume.
        stats.volume += dot(p0, cross(p1, p2)) / 6.0;
    }
    countEdges(view, stats);
    stats.watertight = stats.borderEdges == 0 && stats.nonManifoldEdges == 0;
    stats.insideOut = stats.volume < 0.0;
    return stats;
}

} // namespace meshprobe
