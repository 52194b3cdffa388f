// SPDX-License-Identifier: MIT
// Wall readings of thin faces: a separate, cheap pass of Embree rays over the thin faces only, so the
// thickness values themselves stay exactly the analysis' own.
#include "toolkit/src/WallReadings.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "toolkit/src/RayScene.h"

namespace meshprobe::detail {

namespace {

/// Where the thickness rays start, mm inside the surface.
constexpr float rayStart = 2e-5f;
/// Normals closer than this to opposite (150 degrees apart) are the two sides of a wedge, not a corner.
constexpr double wedgeCosine = -0.8660254037844386;
/// A corner reading below this share of the face's longest edge measures where the ray started.
constexpr double creaseShareOfEdge = 0.25;

/// Barycentric weights of the ray origins: the centroid, one point towards each corner and one towards
/// each edge's middle, so both a wall across the face and a corner beside it are met.
constexpr std::array<std::array<float, 3>, 7> origins{{{1.0f / 3, 1.0f / 3, 1.0f / 3},
                                                       {0.8f, 0.1f, 0.1f},
                                                       {0.1f, 0.8f, 0.1f},
                                                       {0.1f, 0.1f, 0.8f},
                                                       {0.45f, 0.45f, 0.1f},
                                                       {0.1f, 0.45f, 0.45f},
                                                       {0.45f, 0.1f, 0.45f}}};

struct Face {
    std::array<std::array<double, 3>, 3> p{};
    std::array<double, 3> normal{}; ///< unit, outward by the winding; zero for a degenerate face
    double longestEdge = 0.0;
};

Face faceOf(const MeshView& mesh, std::uint32_t f)
{
    Face face;
    for (int k = 0; k < 3; ++k) {
        const float* v = mesh.vertices + 3 * std::size_t(mesh.triangles[3 * std::size_t(f) + std::size_t(k)]);
        face.p[k] = {v[0], v[1], v[2]};
    }
    std::array<double, 3> e1{}, e2{};
    for (int a = 0; a < 3; ++a) {
        e1[a] = face.p[1][a] - face.p[0][a];
        e2[a] = face.p[2][a] - face.p[0][a];
    }
    const std::array<double, 3> n{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                  e1[0] * e2[1] - e1[1] * e2[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0)
        for (int a = 0; a < 3; ++a)
            face.normal[a] = n[a] / length;
    for (int k = 0; k < 3; ++k) {
        const auto& a = face.p[k];
        const auto& b = face.p[(k + 1) % 3];
        face.longestEdge = std::max(face.longestEdge, std::hypot(b[0] - a[0], b[1] - a[1], b[2] - a[2]));
    }
    return face;
}

bool shareVertex(const MeshView& mesh, std::uint32_t f, std::uint32_t g)
{
    const std::uint32_t* a = mesh.triangles + 3 * std::size_t(f);
    const std::uint32_t* b = mesh.triangles + 3 * std::size_t(g);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (a[i] == b[j]) return true;
    return false;
}

double dot(const std::array<double, 3>& a, const std::array<double, 3>& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

/// The faces around each vertex, as offsets into one list.
struct VertexFaces {
    std::vector<std::size_t> first;
    std::vector<std::uint32_t> faces;

    explicit VertexFaces(const MeshView& mesh) : first(mesh.vertexCount + 1, 0), faces(3 * mesh.triangleCount)
    {
        for (std::size_t i = 0; i < 3 * mesh.triangleCount; ++i)
            ++first[mesh.triangles[i] + 1];
        for (std::size_t v = 0; v < mesh.vertexCount; ++v)
            first[v + 1] += first[v];
        std::vector<std::size_t> next(first.begin(), first.end() - 1);
        for (std::size_t i = 0; i < 3 * mesh.triangleCount; ++i)
            faces[next[mesh.triangles[i]]++] = static_cast<std::uint32_t>(i / 3);
    }
};

/// True when a face sharing a vertex with `f` makes a convex corner sharper than a right angle with it:
/// their normals more than 90 (and less than 150) degrees apart, the other face's corners behind f's
/// plane. Rays that start close to such a corner meet the other face.
bool besideSharpCorner(const MeshView& mesh, const VertexFaces& around, std::uint32_t f, const Face& face)
{
    const std::uint32_t* corners = mesh.triangles + 3 * std::size_t(f);
    for (int k = 0; k < 3; ++k) {
        const std::uint32_t v = corners[k];
        for (std::size_t j = around.first[v]; j < around.first[v + 1]; ++j) {
            const std::uint32_t g = around.faces[j];
            if (g == f) continue;
            const Face other = faceOf(mesh, g);
            const double cosine = dot(face.normal, other.normal);
            if (!(cosine < 0.0 && cosine > wedgeCosine)) continue;
            bool behind = true;
            for (const auto& p : other.p) {
                const std::array<double, 3> d{p[0] - face.p[0][0], p[1] - face.p[0][1], p[2] - face.p[0][2]};
                // Shared corners lie in the plane, up to rounding.
                behind = behind && dot(d, face.normal) <= 1e-6 * face.longestEdge;
            }
            if (behind) return true;
        }
    }
    return false;
}

} // namespace

std::vector<WallReading> wallReadings(const MeshView& mesh, const std::vector<float>& perFace,
                                      const std::vector<std::uint32_t>& faces, float max)
{
    std::vector<WallReading> readings(faces.size());
    if (faces.empty()) return readings;
    const RayScene scene(mesh);
    const VertexFaces around(mesh);
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const std::uint32_t f = faces[i];
        const Face face = faceOf(mesh, f);
        if (face.longestEdge == 0.0 || face.normal == std::array<double, 3>{}) continue;
        const std::array<float, 3> inward{float(-face.normal[0]), float(-face.normal[1]), float(-face.normal[2])};
        double nearestWall = std::numeric_limits<double>::infinity();
        for (const auto& w : origins) {
            std::array<float, 3> origin{};
            for (int a = 0; a < 3; ++a)
                origin[a] =
                    float(w[0] * face.p[0][a] + w[1] * face.p[1][a] + w[2] * face.p[2][a]) + inward[a] * rayStart;
            const std::optional<RayHit> hit = scene.nearest(origin, inward, 0.0f, max);
            if (!hit || hit->face == f) continue;
            const Face other = faceOf(mesh, hit->face);
            const double cosine = dot(other.normal, face.normal);
            // A corner beside the face is not the other side of its wall.
            if (cosine > wedgeCosine && shareVertex(mesh, f, hit->face)) continue;
            // The thickness analysis' correction for the angle between the faces.
            const double open = 1.0 - std::fabs(cosine);
            const double corrected = hit->t / (1.0 - open * open * open);
            if (corrected < nearestWall) {
                nearestWall = corrected;
                readings[i].opposite = hit->face;
            }
        }
        const double value = perFace[f];
        readings[i].crease = value < creaseShareOfEdge * face.longestEdge && !(nearestWall <= 2.0 * value) &&
                             besideSharpCorner(mesh, around, f, face);
    }
    return readings;
}

} // namespace meshprobe::detail
