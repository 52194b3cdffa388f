// SPDX-License-Identifier: MIT
// Mesh measurements on the host mesh library's face topology.
#include "meshprobe/Inspect.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "toolkit/src/HostMeshBridge.h"

namespace meshprobe {

namespace {

using Vec = std::array<double, 3>;

Vec point(const UTriangle<float>& face, int k)
{
    const UPoint3<float>& p = face.P(k);
    return {p[0], p[1], p[2]};
}

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

/// An edge independent of its direction, by the IDs of its end vertices.
std::pair<unsigned, unsigned> undirected(const UTriangle<float>& face, int k)
{
    const unsigned a = face.V0(k)->ID();
    const unsigned b = face.V1(k)->ID();
    return {std::min(a, b), std::max(a, b)};
}

} // namespace

MeshInfo inspect(const MeshView& view)
{
    const std::unique_ptr<UMesh<float>> host = detail::toHostMesh(view);
    UMesh<float>& mesh = *host;
    MeshInfo stats;
    stats.vertexCount = view.vertexCount;
    stats.triangleCount = view.triangleCount;
    mesh.BuildTopo(std::function<void(int)>(), false);

    stats.boundsMin.fill(mesh.vertices.empty() ? 0.0f : INFINITY);
    stats.boundsMax.fill(mesh.vertices.empty() ? 0.0f : -INFINITY);
    for (const UVertex<float>* v : mesh.vertices)
        for (int a = 0; a < 3; ++a) {
            stats.boundsMin[a] = std::min(stats.boundsMin[a], v->P()[a]);
            stats.boundsMax[a] = std::max(stats.boundsMax[a], v->P()[a]);
        }

    // A non-manifold or bad edge is flagged on each of its faces: count each edge once.
    std::set<std::pair<unsigned, unsigned>> nonManifold;
    std::set<std::pair<unsigned, unsigned>> bad;
    for (const UTriangle<float>* face : mesh.faces) {
        const Vec p0 = point(*face, 0), p1 = point(*face, 1), p2 = point(*face, 2);
        const Vec n = cross(minus(p1, p0), minus(p2, p0));
        stats.area += 0.5 * std::sqrt(dot(n, n));
        // Signed volume of the tetrahedron (origin, p0, p1, p2); the sum over a closed surface is its volume.
        stats.volume += dot(p0, cross(p1, p2)) / 6.0;
        for (int k = 0; k < 3; ++k) {
            if (!face->IsManifold(k))
                nonManifold.insert(undirected(*face, k));
            else if (face->FFp(k) == face || face->FFp(k) == nullptr)
                ++stats.borderEdges;
            else if (face->IsBadEdge(k))
                bad.insert(undirected(*face, k));
        }
    }
    stats.nonManifoldEdges = nonManifold.size();
    stats.badEdges = bad.size();
    stats.watertight = stats.borderEdges == 0 && stats.nonManifoldEdges == 0;
    return stats;
}

} // namespace meshprobe
