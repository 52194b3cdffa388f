// SPDX-License-Identifier: MIT
// Voxel surface of a cavity: the voxels are read back from the column triangles in the grid's own frame
// (taken from the first column); the voxel faces without a cavity voxel behind them are merged, plane by
// plane, into rectangles (greedy meshing).
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
    auto vertex = [&](const long(&c)[3]) {
        const auto [it, added] = cornerIndex.try_emplace(key(c[0], c[1], c[2]), std::uint32_t(cornerIndex.size()));
        if (added)
            for (double value : place(double(c[0]), double(c[1]), double(c[2])))
                solid.surface.vertices.push_back(static_cast<float>(value));
        return it->second;
    };

    // Exposed voxel faces, per direction and plane: (plane, u, v) with u, v the grid axes after the face's
    // axis in cyclic order, so that (u, v, axis) is right-handed and a quad listed in increasing u then v
    // order is counter-clockwise seen from the + side.
    for (int axis = 0; axis < 3; ++axis) {
        const int u = (axis + 1) % 3, w = (axis + 2) % 3;
        for (int side : {1, -1}) {
            std::vector<std::uint64_t> faces; // key(plane, u, v), sorted: plane, then u, then v
            for (std::uint64_t packed : voxels) {
                const long c[3] = {long(packed >> 42) - offset, long((packed >> 21) & 0x1FFFFF) - offset,
                                   long(packed & 0x1FFFFF) - offset};
                long neighbour[3] = {c[0], c[1], c[2]};
                neighbour[axis] += side;
                if (occupied.count(key(neighbour[0], neighbour[1], neighbour[2]))) continue;
                faces.push_back(key(c[axis] + (side > 0 ? 1 : 0), c[u], c[w]));
            }
            std::sort(faces.begin(), faces.end());
            // Greedy rectangles within each plane: grow along v, then along u while whole rows are free.
            // Merged faces meet smaller ones at T-junctions: the surface stays closed as a shape (and its
            // volume exact), which is all the page needs; it is not an edge-manifold mesh.
            std::unordered_set<std::uint64_t> open(faces.begin(), faces.end());
            for (std::uint64_t face : faces) {
                if (!open.count(face)) continue;
                const long plane = long(face >> 42) - offset, u0 = long((face >> 21) & 0x1FFFFF) - offset,
                           v0 = long(face & 0x1FFFFF) - offset;
                long v1 = v0 + 1;
                while (open.count(key(plane, u0, v1)))
                    ++v1;
                long u1 = u0 + 1;
                for (;; ++u1) {
                    bool rowFree = true;
                    for (long v = v0; v < v1 && rowFree; ++v)
                        rowFree = open.count(key(plane, u1, v)) > 0;
                    if (!rowFree) break;
                }
                for (long uu = u0; uu < u1; ++uu)
                    for (long v = v0; v < v1; ++v)
                        open.erase(key(plane, uu, v));
                std::uint32_t q[4];
                const long corners[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
                for (int k = 0; k < 4; ++k) {
                    long c[3];
                    c[axis] = plane;
                    c[u] = corners[k][0];
                    c[w] = corners[k][1];
                    q[k] = vertex(c);
                }
                if (side < 0) std::swap(q[1], q[3]);
                solid.surface.triangles.insert(solid.surface.triangles.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
            }
        }
    }
    return solid;
}

} // namespace meshprobe::report
