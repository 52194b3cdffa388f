// SPDX-License-Identifier: MIT
// Cavity voxels as sorted runs, their measures and their closed surface.
#include "toolkit/src/cavities/CavityVoxels.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>
#include <tuple>
#include <unordered_map>

#include "meshprobe/Error.h"

namespace meshprobe::detail {

namespace {

bool runBefore(const VoxelRun& r, int x, int y, int z)
{
    return std::tie(r.x, r.y, r.z0) < std::tie(x, y, z);
}

/// The runs of column (x, y): a range of the sorted run list.
std::pair<const VoxelRun*, const VoxelRun*> column(const CavityVoxels& v, int x, int y)
{
    const VoxelRun* begin = v.runs.data();
    const VoxelRun* end = begin + v.runs.size();
    const VoxelRun* lo =
        std::lower_bound(begin, end, 0, [&](const VoxelRun& r, int) { return std::tie(r.x, r.y) < std::tie(x, y); });
    const VoxelRun* hi = lo;
    while (hi != end && hi->x == x && hi->y == y)
        ++hi;
    return {lo, hi};
}

} // namespace

std::array<double, 3> gridPoint(const VoxelGrid& grid, const std::array<double, 3>& q)
{
    return {grid.corner(0, q[0]), grid.corner(1, q[1]), grid.corner(2, q[2])};
}

long long CavityVoxels::count() const
{
    long long n = 0;
    for (const VoxelRun& r : runs)
        n += r.z1 - r.z0;
    return n;
}

bool CavityVoxels::contains(int x, int y, int z) const
{
    auto it = std::upper_bound(
        runs.begin(), runs.end(), std::make_tuple(x, y, z),
        [](const std::tuple<int, int, int>& key, const VoxelRun& r) { return key < std::tie(r.x, r.y, r.z0); });
    if (it == runs.begin()) return false;
    --it;
    return it->x == x && it->y == y && z >= it->z0 && z < it->z1;
}

void normalise(CavityVoxels& voxels)
{
    auto& runs = voxels.runs;
    std::sort(runs.begin(), runs.end(),
              [](const VoxelRun& a, const VoxelRun& b) { return runBefore(a, b.x, b.y, b.z0); });
    std::size_t out = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (out > 0 && runs[out - 1].x == runs[i].x && runs[out - 1].y == runs[i].y && runs[out - 1].z1 >= runs[i].z0)
            runs[out - 1].z1 = std::max(runs[out - 1].z1, runs[i].z1);
        else
            runs[out++] = runs[i];
    }
    runs.resize(out);
}

CavityVoxels cavityVoxels(std::vector<VoxelRun> runs)
{
    CavityVoxels voxels;
    voxels.runs = std::move(runs);
    normalise(voxels);
    return voxels;
}

long long boundaryFaceCount(const CavityVoxels& voxels, const std::array<int, 3>& lo, const std::array<int, 3>& hi)
{
    long long faces = 0;
    static const int sideX[] = {-1, 1, 0, 0}, sideY[] = {0, 0, -1, 1};
    for (const VoxelRun& r : voxels.runs) {
        // Runs are maximal: below and above them lie other voxels.
        faces += (r.z0 > lo[2]) + (r.z1 - 1 < hi[2]);
        for (int s = 0; s < 4; ++s) {
            const int x = r.x + sideX[s], y = r.y + sideY[s];
            if (x < lo[0] || x > hi[0] || y < lo[1] || y > hi[1]) continue;
            long long shared = 0;
            const auto [first, last] = column(voxels, x, y);
            for (const VoxelRun* n = first; n != last; ++n)
                shared += std::max(0, std::min(r.z1, n->z1) - std::max(r.z0, n->z0));
            faces += (r.z1 - r.z0) - shared;
        }
    }
    return faces;
}

namespace {

using Vec = std::array<int, 3>;

// Face directions: -z, +z, -x, +x, -y, +y.
constexpr Vec kDirections[6] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
constexpr int kAxisOf[6] = {2, 2, 0, 0, 1, 1};

int directionOf(const Vec& d)
{
    for (int i = 0; i < 6; ++i)
        if (kDirections[i] == d) return i;
    return -1;
}

Vec add(const Vec& a, const Vec& b)
{
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
Vec negate(const Vec& a)
{
    return {-a[0], -a[1], -a[2]};
}

struct Face {
    Vec voxel;
    int direction;
};

std::uint64_t faceKey(const Vec& v, int direction)
{
    return ((std::uint64_t(std::uint32_t(v[0]) & 0xfffff) << 40) |
            (std::uint64_t(std::uint32_t(v[1]) & 0xfffff) << 20) | std::uint64_t(std::uint32_t(v[2]) & 0xfffff)) *
               8 +
           std::uint64_t(direction);
}

/// The four corners of a face in grid coordinates, counter-clockwise seen from the side it faces.
std::array<Vec, 4> faceCorners(const Face& f)
{
    const int a = kAxisOf[f.direction], b = (a + 1) % 3, c = (a + 2) % 3;
    const bool positive = f.direction % 2 == 1;
    static const int plus[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    static const int minus[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    std::array<Vec, 4> corners;
    for (int k = 0; k < 4; ++k) {
        Vec p = f.voxel;
        p[a] += positive ? 1 : 0;
        p[b] += (positive ? plus : minus)[k][0];
        p[c] += (positive ? plus : minus)[k][1];
        corners[k] = p;
    }
    return corners;
}

struct UnionFind {
    std::vector<std::uint32_t> parent;
    explicit UnionFind(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }
    std::uint32_t find(std::uint32_t i)
    {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    }
    void join(std::uint32_t a, std::uint32_t b) { parent[find(a)] = find(b); }
};

} // namespace

Mesh voxelSurface(const CavityVoxels& voxels)
{
    std::vector<Face> faces;
    for (const VoxelRun& r : voxels.runs) {
        faces.push_back({{r.x, r.y, r.z0}, 0});
        faces.push_back({{r.x, r.y, r.z1 - 1}, 1});
        for (int d = 2; d < 6; ++d)
            for (int z = r.z0; z < r.z1; ++z)
                if (!voxels.contains(r.x + kDirections[d][0], r.y + kDirections[d][1], z))
                    faces.push_back({{r.x, r.y, z}, d});
    }
    std::unordered_map<std::uint64_t, std::uint32_t> faceIndex;
    faceIndex.reserve(faces.size() * 2);
    for (std::size_t i = 0; i < faces.size(); ++i)
        faceIndex.emplace(faceKey(faces[i].voxel, faces[i].direction), static_cast<std::uint32_t>(i));
    auto inCavity = [&](const Vec& v) { return voxels.contains(v[0], v[1], v[2]); };

    // Corners of faces that meet across an edge are one vertex. Across an edge where two cavity voxels touch
    // only diagonally, each face pairs with the other face of its own voxel, and each pair gets a vertex of
    // its own in the middle of the edge: two edges then run between the same places without sharing ends.
    const std::size_t slots = faces.size() * 4; // corner slots 4i+k, then edge-middle slots slots+4i+k
    UnionFind join(2 * slots);
    std::vector<bool> diagonal(slots, false);
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const Face& f = faces[i];
        const auto mine = faceCorners(f);
        const Vec& d = kDirections[f.direction];
        for (int k = 0; k < 4; ++k) {
            const Vec& p = mine[k];
            const Vec& q = mine[(k + 1) % 4];
            // Unit step in the face's plane from its centre towards this edge: 2 * (edge middle - centre).
            Vec t;
            for (int a = 0; a < 3; ++a)
                t[a] = (a == kAxisOf[f.direction]) ? 0 : (p[a] + q[a] - 2 * f.voxel[a] - 1);
            Face next;
            const Vec side = add(f.voxel, t);
            if (!inCavity(side)) {
                next = {f.voxel, directionOf(t)}; // the edge is convex: the voxel's own side face
                diagonal[4 * i + k] = inCavity(add(side, d));
            } else if (inCavity(add(side, d))) {
                next = {add(side, d), directionOf(negate(t))}; // concave: the face of the voxel beyond
            } else {
                next = {side, f.direction}; // flat: the neighbour's face in the same plane
            }
            const auto found = faceIndex.find(faceKey(next.voxel, next.direction));
            if (found == faceIndex.end()) throw Error("cavity surface: a face has no neighbour across an edge");
            const std::uint32_t j = found->second;
            const auto theirs = faceCorners(next);
            for (int m = 0; m < 4; ++m) {
                if (theirs[m] == p) join.join(std::uint32_t(4 * i + k), 4 * j + m);
                if (theirs[m] == q) {
                    join.join(std::uint32_t(4 * i + (k + 1) % 4), 4 * j + m);
                    if (theirs[(m + 1) % 4] == p) // their edge m runs q -> p
                        join.join(std::uint32_t(slots + 4 * i + k), std::uint32_t(slots + 4 * j + m));
                }
            }
        }
    }

    Mesh mesh;
    std::vector<std::uint32_t> vertexOf(2 * slots, UINT32_MAX);
    auto vertex = [&](std::size_t slot, const std::array<double, 3>& position) {
        const std::uint32_t root = join.find(std::uint32_t(slot));
        if (vertexOf[root] == UINT32_MAX) {
            vertexOf[root] = static_cast<std::uint32_t>(mesh.vertexCount());
            for (double c : position)
                mesh.vertices.push_back(static_cast<float>(c));
        }
        return vertexOf[root];
    };
    // The outline of face i's edge k: its first corner, then the edge's middle where it has one.
    auto appendEdge = [&](std::vector<std::uint32_t>& polygon, std::size_t i, int k) {
        const auto c = faceCorners(faces[i]);
        const Vec& p = c[k];
        const Vec& q = c[(k + 1) % 4];
        polygon.push_back(vertex(4 * i + k, {double(p[0]), double(p[1]), double(p[2])}));
        if (diagonal[4 * i + k])
            polygon.push_back(
                vertex(slots + 4 * i + k, {(p[0] + q[0]) / 2.0, (p[1] + q[1]) / 2.0, (p[2] + q[2]) / 2.0}));
    };
    // A convex outline: two triangles for a plain quad, else a fan from its centre, which keeps every
    // triangle non-degenerate however many points lie along the sides.
    auto emit = [&](const std::vector<std::uint32_t>& polygon, const std::array<double, 3>& centrePoint) {
        if (polygon.size() == 4) {
            mesh.triangles.insert(mesh.triangles.end(),
                                  {polygon[0], polygon[1], polygon[2], polygon[0], polygon[2], polygon[3]});
            return;
        }
        const auto centre = static_cast<std::uint32_t>(mesh.vertexCount());
        for (double c : centrePoint)
            mesh.vertices.push_back(static_cast<float>(c));
        for (std::size_t k = 0; k < polygon.size(); ++k)
            mesh.triangles.insert(mesh.triangles.end(), {centre, polygon[k], polygon[(k + 1) % polygon.size()]});
    };

    // Coplanar faces facing the same way are merged greedily into rectangles. A rectangle keeps every grid
    // point along its sides as a vertex, so its sides meet its neighbours' edges point for point (no
    // T-junction); it is used only where that takes fewer triangles than its unit faces (w * h > w + h).
    std::map<std::pair<int, int>, std::map<std::pair<int, int>, std::uint32_t>> planes; // (direction, layer)
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const Face& f = faces[i];
        const int a = kAxisOf[f.direction];
        planes[{f.direction, f.voxel[a]}][{f.voxel[(a + 2) % 3], f.voxel[(a + 1) % 3]}] = std::uint32_t(i);
    }
    std::vector<std::uint32_t> polygon;
    for (auto& planeCells : planes) {
        // A named reference, not a structured binding: lambdas below capture it (C++17 cannot capture bindings).
        const std::pair<int, int>& plane = planeCells.first;
        const auto& cells = planeCells.second; // keyed (c, b): rows along b, stacked in c
        const bool positive = plane.first % 2 == 1;
        std::set<std::pair<int, int>> used;
        auto free = [&](int c, int b) { return cells.count({c, b}) && !used.count({c, b}); };
        for (const auto& [cell, first] : cells) {
            if (used.count(cell)) continue;
            const int c0 = cell.first, b0 = cell.second;
            int b1 = b0 + 1, c1 = c0 + 1;
            while (free(c0, b1))
                ++b1;
            for (bool grows = true; grows; c1 += grows) {
                for (int b = b0; b < b1 && grows; ++b)
                    grows = free(c1, b);
            }
            const int w = b1 - b0, h = c1 - c0;
            if (w * h <= w + h) { // too small to gain: its first row alone, as unit faces
                for (int b = b0; b < b1; ++b) {
                    used.insert({c0, b});
                    polygon.clear();
                    const std::uint32_t i = cells.at({c0, b});
                    for (int k = 0; k < 4; ++k)
                        appendEdge(polygon, i, k);
                    const auto corner = faceCorners(faces[i]);
                    emit(polygon, {(corner[0][0] + corner[2][0]) / 2.0, (corner[0][1] + corner[2][1]) / 2.0,
                                   (corner[0][2] + corner[2][2]) / 2.0});
                }
                continue;
            }
            for (int c = c0; c < c1; ++c)
                for (int b = b0; b < b1; ++b)
                    used.insert({c, b});
            // Walk the outline counter-clockwise seen from outside, through the edges of its unit faces.
            auto at = [&](int c, int b) { return cells.at({c, b}); };
            polygon.clear();
            if (positive) {
                for (int b = b0; b < b1; ++b)
                    appendEdge(polygon, at(c0, b), 0);
                for (int c = c0; c < c1; ++c)
                    appendEdge(polygon, at(c, b1 - 1), 1);
                for (int b = b1 - 1; b >= b0; --b)
                    appendEdge(polygon, at(c1 - 1, b), 2);
                for (int c = c1 - 1; c >= c0; --c)
                    appendEdge(polygon, at(c, b0), 3);
            } else {
                for (int c = c0; c < c1; ++c)
                    appendEdge(polygon, at(c, b0), 0);
                for (int b = b0; b < b1; ++b)
                    appendEdge(polygon, at(c1 - 1, b), 1);
                for (int c = c1 - 1; c >= c0; --c)
                    appendEdge(polygon, at(c, b1 - 1), 2);
                for (int b = b1 - 1; b >= b0; --b)
                    appendEdge(polygon, at(c0, b), 3);
            }
            const auto lo = faceCorners(faces[at(c0, b0)])[0], hi = faceCorners(faces[at(c1 - 1, b1 - 1)])[2];
            emit(polygon, {(lo[0] + hi[0]) / 2.0, (lo[1] + hi[1]) / 2.0, (lo[2] + hi[2]) / 2.0});
        }
    }
    return mesh;
}

} // namespace meshprobe::detail
