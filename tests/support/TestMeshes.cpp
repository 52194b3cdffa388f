// SPDX-License-Identifier: MIT
#include "tests/support/TestMeshes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace testmesh {

void Soup::append(const Soup& other)
{
    const auto base = static_cast<std::uint32_t>(positions.size() / 3);
    positions.insert(positions.end(), other.positions.begin(), other.positions.end());
    for (std::uint32_t i : other.indices)
        indices.push_back(base + i);
}

void Soup::appendFlipped(const Soup& other)
{
    const auto base = static_cast<std::uint32_t>(positions.size() / 3);
    positions.insert(positions.end(), other.positions.begin(), other.positions.end());
    for (std::size_t t = 0; t + 2 < other.indices.size(); t += 3) {
        indices.push_back(base + other.indices[t]);
        indices.push_back(base + other.indices[t + 2]);
        indices.push_back(base + other.indices[t + 1]);
    }
}

Soup box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return gridBox(x0, y0, z0, x1, y1, z1, 1);
}

Soup columns(const std::vector<float>& xs, const std::vector<float>& ys, const std::vector<float>& heights)
{
    Soup s;
    const int nx = static_cast<int>(xs.size()) - 1;
    const int ny = static_cast<int>(ys.size()) - 1;
    std::vector<std::pair<std::array<float, 3>, std::uint32_t>> made;
    auto vertex = [&](int i, int j, float z) {
        const std::array<float, 3> p{xs[i], ys[j], z};
        for (const auto& [q, id] : made)
            if (q == p) return id;
        const auto id = static_cast<std::uint32_t>(s.positions.size() / 3);
        s.positions.insert(s.positions.end(), p.begin(), p.end());
        made.push_back({p, id});
        return id;
    };
    auto height = [&](int i, int j) { return i < 0 || j < 0 || i >= nx || j >= ny ? 0.0f : heights[j * nx + i]; };
    auto quad = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        s.indices.insert(s.indices.end(), {a, b, c, a, c, d}); // counter-clockwise seen from outside
    };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const float h = height(i, j);
            if (h <= 0) continue; // a hole through the block
            quad(vertex(i, j, 0), vertex(i, j + 1, 0), vertex(i + 1, j + 1, 0), vertex(i + 1, j, 0));
            quad(vertex(i, j, h), vertex(i + 1, j, h), vertex(i + 1, j + 1, h), vertex(i, j + 1, h));
            // Each side faces the lower neighbour (or the outside), from its height up to this column's.
            const float west = std::min(h, height(i - 1, j)), east = std::min(h, height(i + 1, j));
            const float south = std::min(h, height(i, j - 1)), north = std::min(h, height(i, j + 1));
            if (west < h) quad(vertex(i, j, west), vertex(i, j, h), vertex(i, j + 1, h), vertex(i, j + 1, west));
            if (east < h)
                quad(vertex(i + 1, j, east), vertex(i + 1, j + 1, east), vertex(i + 1, j + 1, h), vertex(i + 1, j, h));
            if (south < h) quad(vertex(i, j, south), vertex(i + 1, j, south), vertex(i + 1, j, h), vertex(i, j, h));
            if (north < h)
                quad(vertex(i, j + 1, north), vertex(i, j + 1, h), vertex(i + 1, j + 1, h),
                     vertex(i + 1, j + 1, north));
        }
    return s;
}

Soup gridBox(float x0, float y0, float z0, float x1, float y1, float z1, int n)
{
    // Grid points on the surface of the (n+1)^3 lattice, shared between faces.
    Soup s;
    const int m = n + 1;
    std::vector<std::int64_t> id(static_cast<std::size_t>(m) * m * m, -1);
    auto vertex = [&](int i, int j, int k) {
        std::int64_t& slot = id[(static_cast<std::size_t>(i) * m + j) * m + k];
        if (slot < 0) {
            slot = static_cast<std::int64_t>(s.positions.size() / 3);
            s.positions.push_back(x0 + (x1 - x0) * static_cast<float>(i) / static_cast<float>(n));
            s.positions.push_back(y0 + (y1 - y0) * static_cast<float>(j) / static_cast<float>(n));
            s.positions.push_back(z0 + (z1 - z0) * static_cast<float>(k) / static_cast<float>(n));
        }
        return static_cast<std::uint32_t>(slot);
    };
    auto quad = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        // a b c d counter-clockwise seen from outside
        s.indices.insert(s.indices.end(), {a, b, c, a, c, d});
    };
    for (int u = 0; u < n; ++u)
        for (int v = 0; v < n; ++v) {
            // -z and +z
            quad(vertex(u, v, 0), vertex(u, v + 1, 0), vertex(u + 1, v + 1, 0), vertex(u + 1, v, 0));
            quad(vertex(u, v, n), vertex(u + 1, v, n), vertex(u + 1, v + 1, n), vertex(u, v + 1, n));
            // -y and +y
            quad(vertex(u, 0, v), vertex(u + 1, 0, v), vertex(u + 1, 0, v + 1), vertex(u, 0, v + 1));
            quad(vertex(u, n, v), vertex(u, n, v + 1), vertex(u + 1, n, v + 1), vertex(u + 1, n, v));
            // -x and +x
            quad(vertex(0, u, v), vertex(0, u, v + 1), vertex(0, u + 1, v + 1), vertex(0, u + 1, v));
            quad(vertex(n, u, v), vertex(n, u + 1, v), vertex(n, u + 1, v + 1), vertex(n, u, v + 1));
        }
    return s;
}

Soup quadGrid(int nx, int ny)
{
    Soup s;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i)
            s.positions.insert(s.positions.end(), {static_cast<float>(i), static_cast<float>(j), 0.0f});
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const auto a = static_cast<std::uint32_t>(j * (nx + 1) + i);
            const auto b = a + 1;
            const auto c = a + static_cast<std::uint32_t>(nx + 1) + 1;
            const auto d = a + static_cast<std::uint32_t>(nx + 1);
            s.indices.insert(s.indices.end(), {a, b, c, a, c, d});
        }
    return s;
}

Soup sphere(float cx, float cy, float cz, float radius, int rings, int segments)
{
    Soup s;
    const double pi = std::acos(-1.0);
    s.positions.insert(s.positions.end(), {cx, cy, cz - radius}); // south pole, 0
    for (int r = 1; r < rings; ++r) {
        const double theta = pi * r / rings - pi / 2;
        for (int g = 0; g < segments; ++g) {
            const double phi = 2 * pi * g / segments;
            s.positions.push_back(cx + static_cast<float>(radius * std::cos(theta) * std::cos(phi)));
            s.positions.push_back(cy + static_cast<float>(radius * std::cos(theta) * std::sin(phi)));
            s.positions.push_back(cz + static_cast<float>(radius * std::sin(theta)));
        }
    }
    const auto north = static_cast<std::uint32_t>(s.positions.size() / 3);
    s.positions.insert(s.positions.end(), {cx, cy, cz + radius});
    auto ringVertex = [&](int r, int g) { return static_cast<std::uint32_t>(1 + (r - 1) * segments + g % segments); };
    for (int g = 0; g < segments; ++g)
        s.indices.insert(s.indices.end(), {0u, ringVertex(1, g + 1), ringVertex(1, g)});
    for (int r = 1; r + 1 < rings; ++r)
        for (int g = 0; g < segments; ++g) {
            const std::uint32_t a = ringVertex(r, g), b = ringVertex(r, g + 1);
            const std::uint32_t c = ringVertex(r + 1, g + 1), d = ringVertex(r + 1, g);
            s.indices.insert(s.indices.end(), {a, b, c, a, c, d});
        }
    for (int g = 0; g < segments; ++g)
        s.indices.insert(s.indices.end(), {north, ringVertex(rings - 1, g), ringVertex(rings - 1, g + 1)});
    return s;
}

Soup finPlate(int fins, float finThickness, float scale)
{
    using Size = FinPlateSize;
    // The profile, counter-clockwise in x-z: along the bottom, up the right side, then over the fins from
    // right to left. `foot` lists the points on the plate's top, for the cap's fan.
    std::vector<std::array<float, 2>> profile{{0, 0}, {Size::width, 0}, {Size::width, Size::base}};
    std::vector<std::uint32_t> foot{0, 1, 2};
    const float slot = Size::width / float(fins);
    for (int f = fins - 1; f >= 0; --f) {
        const float left = slot * (float(f) + 0.5f) - finThickness / 2, right = left + finThickness;
        const auto first = static_cast<std::uint32_t>(profile.size());
        for (const std::array<float, 2>& p : std::vector<std::array<float, 2>>{{right, Size::base},
                                                                               {right, Size::base + Size::finHeight},
                                                                               {left, Size::base + Size::finHeight},
                                                                               {left, Size::base}})
            profile.push_back(p);
        foot.push_back(first);
        foot.push_back(first + 3);
    }
    profile.push_back({0, Size::base});
    foot.push_back(static_cast<std::uint32_t>(profile.size() - 1));

    // Cap triangles for the y = 0 side (normal -y when counter-clockwise in x-z): the plate as a fan from
    // (0, 0) over its top points, each fin as two triangles on its foot.
    std::vector<std::array<std::uint32_t, 3>> cap;
    for (std::size_t k = 1; k + 1 < foot.size(); ++k)
        cap.push_back({foot[0], foot[k], foot[k + 1]});
    for (int f = 0; f < fins; ++f) {
        const auto first = static_cast<std::uint32_t>(3 + 4 * f); // right foot, right top, left top, left foot
        cap.push_back({first + 3, first, first + 1});
        cap.push_back({first + 3, first + 1, first + 2});
    }

    Soup s;
    const auto n = static_cast<std::uint32_t>(profile.size());
    for (float y : {0.0f, Size::length})
        for (const std::array<float, 2>& p : profile)
            for (float c : {p[0], y, p[1]})
                s.positions.push_back(c * scale);
    for (const auto& t : cap)
        for (std::uint32_t i : {t[0], t[1], t[2], t[0] + n, t[2] + n, t[1] + n})
            s.indices.push_back(i);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t j = (i + 1) % n;
        for (std::uint32_t k : {i, i + n, j + n, i, j + n, j})
            s.indices.push_back(k);
    }
    return s;
}

} // namespace testmesh
