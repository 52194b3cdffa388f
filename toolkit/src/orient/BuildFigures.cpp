// SPDX-License-Identifier: MIT
// Support area, islands, build height and footprint of a build direction, one pass over the mesh each.
#include "toolkit/src/orient/BuildFigures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

#include "toolkit/src/checks/MeshBox.h"

namespace meshprobe::detail {

namespace {

using Point = std::array<double, 3>;

Point corner(const MeshView& mesh, std::uint32_t vertex)
{
    const float* p = mesh.vertices + 3 * std::size_t(vertex);
    return {p[0], p[1], p[2]};
}

/// Union-find root with path halving.
std::uint32_t root(std::vector<std::uint32_t>& parent, std::uint32_t v)
{
    while (parent[v] != v)
        v = parent[v] = parent[parent[v]];
    return v;
}

} // namespace

BuildFigures::BuildFigures(const MeshView& m) : mesh(m), areaNormals(m.triangleCount)
{
    tolerance = 1e-6 * boxOf(mesh).diagonal();
    for (std::size_t f = 0; f < mesh.triangleCount; ++f) {
        const std::uint32_t* t = mesh.triangles + 3 * f;
        const Point a = corner(mesh, t[0]), b = corner(mesh, t[1]), c = corner(mesh, t[2]);
        const Point u{b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        areaNormals[f] = {0.5 * (u[1] * w[2] - u[2] * w[1]), 0.5 * (u[2] * w[0] - u[0] * w[2]),
                          0.5 * (u[0] * w[1] - u[1] * w[0])};
    }
}

BuildFigureValues BuildFigures::measure(const Direction& up, double overhangAngle) const
{
    BuildFigureValues out;
    if (mesh.vertexCount == 0) return out;
    std::vector<double> height(mesh.vertexCount);
    double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        const float* p = mesh.vertices + 3 * v;
        height[v] = p[0] * up[0] + p[1] * up[1] + p[2] * up[2];
        lowest = std::min(lowest, height[v]);
        highest = std::max(highest, height[v]);
    }
    out.buildHeight = highest - lowest;
    auto onPlate = [&](std::uint32_t v) { return height[v] - lowest <= tolerance; };

    // A face needs support when it faces down at less than the angle from the horizontal, that is when
    // its normal lies within the angle of straight down: -n.up > cos(angle). At 0° no face does; a face at
    // the angle itself (a cube turned onto an edge at 45°) prints without, whatever the rounding.
    const double supportCosine = std::cos(overhangAngle * M_PI / 180.0);
    std::vector<std::uint32_t> parent(mesh.vertexCount);
    std::iota(parent.begin(), parent.end(), 0u);
    for (std::size_t f = 0; f < mesh.triangleCount; ++f) {
        const std::uint32_t* t = mesh.triangles + 3 * f;
        const Point& n = areaNormals[f];
        const double area = std::hypot(n[0], n[1], n[2]);
        if (onPlate(t[0]) && onPlate(t[1]) && onPlate(t[2])) {
            out.footprint += area;
        } else if (area > 0.0 && -(n[0] * up[0] + n[1] * up[1] + n[2] * up[2]) > (supportCosine + 1e-9) * area) {
            out.overhangArea += area;
        }
        // Corners joined by a level edge form one flat bottom.
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = t[k], b = t[(k + 1) % 3];
            if (std::fabs(height[a] - height[b]) <= tolerance) parent[root(parent, a)] = root(parent, b);
        }
    }

    // An island is a flat group of vertices that no edge leaves downward and where the part's surface faces
    // down: printing reaches it only from below, in mid-air, unless it lies on the plate. The floor of a
    // pocket is also a group no edge leaves downward, but its faces look up: material below carries it.
    enum : std::uint8_t { Unused = 0, Lowest = 1, HasLower = 2, FacesDown = 4 };
    std::vector<std::uint8_t> state(mesh.vertexCount, Unused);
    for (std::size_t f = 0; f < mesh.triangleCount; ++f) {
        const std::uint32_t* t = mesh.triangles + 3 * f;
        const Point& n = areaNormals[f];
        const double area = std::hypot(n[0], n[1], n[2]);
        if (area > 0.0 && n[0] * up[0] + n[1] * up[1] + n[2] * up[2] < -1e-9 * area)
            for (int k = 0; k < 3; ++k)
                state[root(parent, t[k])] |= FacesDown;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = t[k], b = t[(k + 1) % 3];
            const std::uint32_t ra = root(parent, a), rb = root(parent, b);
            state[ra] |= Lowest;
            state[rb] |= Lowest;
            if (height[a] < height[b] - tolerance) state[rb] |= HasLower;
            if (height[b] < height[a] - tolerance) state[ra] |= HasLower;
        }
    }
    // Roots of islands get a slot; a second pass over the vertices averages each island's flat group.
    constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> slot(mesh.vertexCount, none);
    for (std::uint32_t v = 0; v < mesh.vertexCount; ++v)
        if (parent[v] == v && state[v] == (Lowest | FacesDown) && !onPlate(v)) slot[v] = std::uint32_t(out.islands++);
    if (out.islands == 0) return out;
    out.islandPoints.assign(out.islands, {0.0, 0.0, 0.0});
    std::vector<std::size_t> members(out.islands, 0);
    for (std::uint32_t v = 0; v < mesh.vertexCount; ++v) {
        const std::uint32_t s = slot[root(parent, v)];
        if (s == none) continue;
        const Point p = corner(mesh, v);
        for (int k = 0; k < 3; ++k)
            out.islandPoints[s][k] += p[k];
        ++members[s];
    }
    for (std::size_t i = 0; i < out.islands; ++i)
        for (int k = 0; k < 3; ++k)
            out.islandPoints[i][k] /= double(members[i]);
    return out;
}

} // namespace meshprobe::detail
