// SPDX-License-Identifier: MIT
// Wall readings of thin faces: a separate, cheap pass of Embree rays over the thin faces only, so the
// thickness values themselves stay exactly the analysis' own.
#include "toolkit/src/thickness/WallReadings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "meshprobe/detail/ParallelFor.h"
#include "toolkit/src/cavities/RayScene.h"

namespace meshprobe::detail {

namespace {

/// Where the thickness rays start, mm inside the surface; further in where coordinates are so large that
/// a float cannot resolve that (see rayStartFor).
constexpr float rayStart = 2e-5f;
/// Normals closer than this to opposite (150 degrees apart) are the two sides of a wedge, not a corner.
constexpr double wedgeCosine = -0.8660254037844386;
/// How far a wall may lie from where the value says, as a share of the face's longest edge.
constexpr double creaseShareOfEdge = 0.25;
/// Rays per side of the origin grid: the centroids of the n * n triangles that split the face evenly
/// (25 origins, the nearest a fifteenth of the face from its corners and edges).
constexpr int gridSides = 5;

/// Barycentric weights (of corners 1 and 2) of the ray origins.
std::vector<std::array<double, 2>> originWeights()
{
    std::vector<std::array<double, 2>> weights;
    const double n = gridSides;
    for (int i = 0; i < gridSides; ++i)
        for (int j = 0; i + j < gridSides; ++j) {
            weights.push_back({(3 * i + 1) / (3 * n), (3 * j + 1) / (3 * n)});
            if (i + j < gridSides - 1) weights.push_back({(3 * i + 2) / (3 * n), (3 * j + 2) / (3 * n)});
        }
    return weights;
}

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

/// The start of the rays of a face: rayStart, or four float steps of its largest coordinate when that is
/// more (a 2e-5 mm step is lost in rounding beyond about 160 mm from the origin).
float rayStartFor(const Face& face)
{
    double largest = 0.0;
    for (const auto& p : face.p)
        for (double c : p)
            largest = std::max(largest, std::fabs(c));
    const float big = static_cast<float>(largest);
    return std::max(rayStart, 4.0f * (std::nextafter(big, std::numeric_limits<float>::infinity()) - big));
}

/// The reading of one face, from the 25 rays of its origin grid.
WallReading readFace(const RayScene& scene, const MeshView& mesh, const std::vector<std::array<double, 2>>& weights,
                     float value, std::uint32_t f, float max)
{
    WallReading reading;
    const Face face = faceOf(mesh, f);
    if (face.longestEdge == 0.0 || face.normal == std::array<double, 3>{}) return reading;
    const std::array<float, 3> inward{float(-face.normal[0]), float(-face.normal[1]), float(-face.normal[2])};
    const float start = rayStartFor(face);
    double nearestWall = std::numeric_limits<double>::infinity();
    for (const auto& w : weights) {
        std::array<float, 3> origin{};
        for (int a = 0; a < 3; ++a)
            origin[a] =
                float(face.p[0][a] + w[0] * (face.p[1][a] - face.p[0][a]) + w[1] * (face.p[2][a] - face.p[0][a]));
        const std::optional<RayHit> hit = scene.nearest(origin, inward, start, max);
        if (!hit || hit->face == f) continue;
        const Face other = faceOf(mesh, hit->face);
        const double cosine = dot(other.normal, face.normal);
        // The thickness analysis' correction for the angle between the faces.
        const double open = 1.0 - std::fabs(cosine);
        const double corrected = hit->t / (1.0 - open * open * open);
        // A face beside a sharp corner, met close to where the ray started, measures the corner, not
        // a wall; met further off (a rounded rim), it is the wall's other side.
        if (cosine > wedgeCosine && corrected < creaseShareOfEdge * face.longestEdge && shareVertex(mesh, f, hit->face))
            continue;
        if (corrected < nearestWall) {
            nearestWall = corrected;
            reading.opposite = hit->face;
        }
    }
    // A wall explains the value when one lies within twice it, give or take a quarter of the face (the
    // analysis' rays start elsewhere on the face than these, and a wall may taper in between).
    reading.crease = !(nearestWall <= 2.0 * double(value) + creaseShareOfEdge * face.longestEdge);
    return reading;
}

/// Faces per grab of a worker: 25 rays each, so a grab is well under a millisecond.
constexpr std::size_t chunkFaces = 64;

} // namespace

std::vector<WallReading> wallReadings(const MeshView& mesh, const std::vector<float>& perFace,
                                      const std::vector<std::uint32_t>& faces, float max, int threads,
                                      const RayScene* given, const ProgressSlice& progress)
{
    std::vector<WallReading> readings(faces.size());
    if (faces.empty()) return readings;
    std::unique_ptr<RayScene> own;
    if (!given) own = std::make_unique<RayScene>(mesh);
    const RayScene& scene = given ? *given : *own;
    const std::vector<std::array<double, 2>> weights = originWeights();
    // Each face's reading depends on that face alone, so any split over threads gives the same readings.
    ParallelForOptions team;
    team.threads = std::max(1, threads);
    team.chunk = chunkFaces;
    team.serialBelow = 4 * chunkFaces;
    parallelFor(
        faces.size(), team,
        [&](std::size_t begin, std::size_t end, const ParallelStop&) {
            for (std::size_t i = begin; i < end; ++i)
                readings[i] = readFace(scene, mesh, weights, perFace[faces[i]], faces[i], max);
        },
        progress);
    return readings;
}

} // namespace meshprobe::detail
