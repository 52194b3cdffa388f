// SPDX-License-Identifier: MIT
// Voxel surface of a cavity: the voxels are read back from the column triangles in the grid's own frame
// (taken from the first column), and every voxel face without a cavity voxel behind it becomes a quad.
// The toolkit's solid cavity meshes, once there, make this unnecessary.
#include "report/CavitySolid.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

namespace meshprobe::report {

namespace {

using Vec = std::array<double, 3>;

Vec corner(const std::vector<float>& vertices, std::uint32_t v)
{
    return {vertices[3 * v], vertices[3 * v + 1], vertices[3 * v + 2]};
}

Vec minus(const Vec& a, const Vec& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

double dot(const Vec& a, const Vec& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Vec unit(const Vec& a)
{
    const double length = std::sqrt(dot(a, a));
    return {a[0] / length, a[1] / length, a[2] / length};
}

Vec cross(const Vec& a, const Vec& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Grid coordinates stay within ±2^20 (at most 1290 voxels a side), so three fit one 64-bit key.
constexpr long offset = 1L << 20;

std::uint64_t key(long i, long j, long k)
{
    return std::uint64_t(i + offset) << 42 | std::uint64_t(j + offset) << 21 | std::uint64_t(k + offset);
}

} // namespace

CavitySolid cavitySolid(const std::vector<float>& columnVertices, const std::vector<std::uint32_t>& columnTriangles,
                        double voxelSize)
{
    CavitySolid solid;
    if (columnTriangles.size() < 3 || !(voxelSize > 0)) return solid;

    // The grid's frame: z up the columns, x along their width, y = z × x (right-handed, so that quads
    // wound outward in the grid frame stay outward in the model's).
    const Vec origin = corner(columnVertices, columnTriangles[0]);
    const Vec z = unit(minus(corner(columnVertices, columnTriangles[2]), origin));
    const Vec x = unit(minus(corner(columnVertices, columnTriangles[1]), corner(columnVertices, columnTriangles[2])));
    const Vec y = cross(z, x);
    auto grid = [&](const Vec& p, const Vec& axis) { return std::lround(dot(minus(p, origin), axis) / voxelSize); };

    std::vector<std::uint64_t> voxels;
    Vec sum{0, 0, 0};
    for (std::size_t t = 0; t + 2 < columnTriangles.size(); t += 3) {
        const Vec bottom = corner(columnVertices, columnTriangles[t]);
        const Vec top = corner(columnVertices, columnTriangles[t + 2]);
        const long i = grid(bottom, x), j = grid(bottom, y);
        for (long k = grid(bottom, z), end = grid(top, z); k < end; ++k) {
            voxels.push_back(key(i, j, k));
            sum = {sum[0] + i + 0.5, sum[1] + j + 0.5, sum[2] + k + 0.5};
        }
    }
    std::sort(voxels.begin(), voxels.end());
    voxels.erase(std::unique(voxels.begin(), voxels.end()), voxels.end());
    solid.voxels = voxels.size();
    const std::unordered_set<std::uint64_t> occupied(voxels.begin(), voxels.end());
    if (voxels.empty()) return solid;
    const double n = double(voxels.size());
    auto place = [&](double i, double j, double k) {
        return Vec{origin[0] + voxelSize * (i * x[0] + j * y[0] + k * z[0]),
                   origin[1] + voxelSize * (i * x[1] + j * y[1] + k * z[1]),
                   origin[2] + voxelSize * (i * x[2] + j * y[2] + k * z[2])};
    };
    solid.centroid = place(sum[0] / n, sum[1] / n, sum[2] / n);

    std::unordered_map<std::uint64_t, std::uint32_t> cornerIndex;
    auto vertex = [&](long i, long j, long k) {
        const auto [it, added] = cornerIndex.try_emplace(key(i, j, k), std::uint32_t(cornerIndex.size()));
        if (added)
            for (double c : place(double(i), double(j), double(k)))
                solid.surface.vertices.push_back(static_cast<float>(c));
        return it->second;
    };
    // The voxel face on the + side of each axis, its corners counter-clockwise seen from outside; the
    // − side face is the same square moved back by one, in the opposite order.
    static const int plusFace[3][4][3] = {{{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},
                                          {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},
                                          {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
    for (std::uint64_t v : voxels) {
        const long i = long(v >> 42) - offset, j = long((v >> 21) & ((1u << 21) - 1)) - offset,
                   k = long(v & ((1u << 21) - 1)) - offset;
        for (int axis = 0; axis < 3; ++axis)
            for (int side : {1, -1}) {
                const long step[3] = {axis == 0 ? side : 0, axis == 1 ? side : 0, axis == 2 ? side : 0};
                if (occupied.count(key(i + step[0], j + step[1], k + step[2]))) continue;
                std::uint32_t q[4];
                for (int c = 0; c < 4; ++c) {
                    int p[3] = {plusFace[axis][c][0], plusFace[axis][c][1], plusFace[axis][c][2]};
                    if (side < 0) p[axis] = 0;
                    q[c] = vertex(i + p[0], j + p[1], k + p[2]);
                }
                if (side < 0) std::swap(q[1], q[3]);
                solid.surface.triangles.insert(solid.surface.triangles.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
            }
    }
    return solid;
}

} // namespace meshprobe::report
