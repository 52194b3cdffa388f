// SPDX-License-Identifier: MIT
// Boundary extraction of a cell lattice into a welded triangle mesh.
#include "examples/CellModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <tuple>

#include <utility>

namespace examples {

CellModel::CellModel(std::vector<float> xPlanes, std::vector<float> yPlanes, std::vector<float> zPlanes,
                     const std::function<bool(float, float, float)>& isSolid)
    : planes{std::move(xPlanes), std::move(yPlanes), std::move(zPlanes)}
{
    const size_t nx = planes[0].size() - 1, ny = planes[1].size() - 1, nz = planes[2].size() - 1;
    cells.resize(nx * ny * nz);
    for (size_t i = 0; i < nx; ++i)
        for (size_t j = 0; j < ny; ++j)
            for (size_t k = 0; k < nz; ++k)
                cells[(i * ny + j) * nz + k] =
                    isSolid((planes[0][i] + planes[0][i + 1]) / 2, (planes[1][j] + planes[1][j + 1]) / 2,
                            (planes[2][k] + planes[2][k + 1]) / 2);
}

bool CellModel::solid(int i, int j, int k) const
{
    const int n[3] = {static_cast<int>(planes[0].size()) - 1, static_cast<int>(planes[1].size()) - 1,
                      static_cast<int>(planes[2].size()) - 1};
    if (i < 0 || j < 0 || k < 0 || i >= n[0] || j >= n[1] || k >= n[2]) return false;
    return cells[static_cast<size_t>((i * n[1] + j) * n[2] + k)];
}

meshprobe::Mesh CellModel::mesh() const
{
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
    std::map<std::tuple<int, int, int>, std::uint32_t> ids;
    auto vertex = [&](const int p[3]) {
        const auto inserted = ids.emplace(std::make_tuple(p[0], p[1], p[2]), static_cast<std::uint32_t>(ids.size()));
        if (inserted.second)
            for (int a = 0; a < 3; ++a)
                positions.push_back(planes[a][static_cast<size_t>(p[a])]);
        return inserted.first->second;
    };
    // For every axis a, walk the lattice planes across it and emit a quad wherever solid meets empty.
    for (int a = 0; a < 3; ++a) {
        const int b = (a + 1) % 3, c = (a + 2) % 3;
        const int na = static_cast<int>(planes[a].size()) - 1;
        const int nb = static_cast<int>(planes[b].size()) - 1;
        const int nc = static_cast<int>(planes[c].size()) - 1;
        for (int i = 0; i <= na; ++i)
            for (int u = 0; u < nb; ++u)
                for (int v = 0; v < nc; ++v) {
                    int below[3], above[3];
                    below[a] = i - 1, below[b] = u, below[c] = v;
                    above[a] = i, above[b] = u, above[c] = v;
                    const bool solidBelow = solid(below[0], below[1], below[2]);
                    if (solidBelow == solid(above[0], above[1], above[2])) continue;
                    // Corners counter-clockwise about +a; reversed when the solid lies above (normal -a).
                    const int corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                    std::uint32_t id[4];
                    for (int n = 0; n < 4; ++n) {
                        int p[3];
                        p[a] = i, p[b] = u + corner[n][0], p[c] = v + corner[n][1];
                        id[n] = vertex(p);
                    }
                    if (solidBelow)
                        indices.insert(indices.end(), {id[0], id[1], id[2], id[0], id[2], id[3]});
                    else
                        indices.insert(indices.end(), {id[0], id[2], id[1], id[0], id[3], id[2]});
                }
    }
    return meshprobe::Mesh{std::move(positions), std::move(indices)};
}

std::vector<float> planesEvery(float from, float to, float step, std::vector<float> extra)
{
    const int count = static_cast<int>(std::lround((to - from) / step));
    for (int n = 0; n <= count; ++n)
        extra.push_back(from + (to - from) * n / count);
    std::sort(extra.begin(), extra.end());
    extra.erase(std::unique(extra.begin(), extra.end()), extra.end());
    return extra;
}

} // namespace examples
