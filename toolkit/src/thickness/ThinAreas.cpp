// SPDX-License-Identifier: MIT
// Thin areas from a thickness result: the thin faces grouped by the marking-area operation, the patches on
// the two sides of a wall joined, then measured.
#include "meshprobe/ThinAreas.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "meshprobe/Error.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Threads.h"
#include "toolkit/src/adapters/MarkingAreaMesh.h"
#include "toolkit/src/cavities/RayScene.h"
#include "toolkit/src/thickness/ThinAreasOnScene.h"
#include "toolkit/src/runtime/ReportOrCancel.h"
#include "toolkit/src/thickness/WallReadings.h"

namespace meshprobe {

namespace {

void checkWindow(float min, float max)
{
    if (!std::isfinite(min) || !std::isfinite(max) || min > max)
        throw InputError("thickness window: min and max must be finite numbers with min <= max");
}

struct FaceGeometry {
    double area = 0.0;
    double centroid[3] = {};
};

FaceGeometry faceGeometry(const MeshView& mesh, std::size_t face)
{
    const float* p[3];
    for (int k = 0; k < 3; ++k)
        p[k] = mesh.vertices + 3 * std::size_t(mesh.triangles[3 * face + std::size_t(k)]);
    double e1[3], e2[3];
    FaceGeometry g;
    for (int a = 0; a < 3; ++a) {
        e1[a] = double(p[1][a]) - p[0][a];
        e2[a] = double(p[2][a]) - p[0][a];
        g.centroid[a] = (double(p[0][a]) + p[1][a] + p[2][a]) / 3.0;
    }
    const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    g.area = 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    return g;
}

ThinArea measure(const MeshView& mesh, const std::vector<float>& perFace, std::vector<std::uint32_t> faces, float min)
{
    ThinArea area;
    area.faces = std::move(faces);
    area.boundsMin.fill(std::numeric_limits<double>::infinity());
    area.boundsMax.fill(-std::numeric_limits<double>::infinity());
    area.minThickness = std::numeric_limits<float>::infinity();
    double weighted[3] = {};
    std::vector<float> values;
    values.reserve(area.faces.size());
    for (std::uint32_t f : area.faces) {
        const FaceGeometry g = faceGeometry(mesh, f);
        area.area += g.area;
        for (int a = 0; a < 3; ++a)
            weighted[a] += g.area * g.centroid[a];
        for (int k = 0; k < 3; ++k) {
            const float* p = mesh.vertices + 3 * std::size_t(mesh.triangles[3 * std::size_t(f) + std::size_t(k)]);
            for (int a = 0; a < 3; ++a) {
                area.boundsMin[a] = std::min(area.boundsMin[a], double(p[a]));
                area.boundsMax[a] = std::max(area.boundsMax[a], double(p[a]));
            }
        }
        area.facesBelowMin += perFace[f] <= min;
        if (perFace[f] < area.minThickness) {
            area.minThickness = perFace[f];
            area.thinnestFace = f;
        }
        values.push_back(perFace[f]);
    }
    // A patch of degenerate faces has no area to weight by: its centroid is the box centre.
    for (int a = 0; a < 3; ++a)
        area.centroid[a] = area.area > 0.0 ? weighted[a] / area.area : 0.5 * (area.boundsMin[a] + area.boundsMax[a]);
    const auto middle = values.begin() + std::ptrdiff_t((values.size() - 1) / 2);
    std::nth_element(values.begin(), middle, values.end());
    area.medianThickness = *middle;
    return area;
}

/// Disjoint sets over the patches, to join those on the two sides of a wall.
class PatchSets {
public:
    explicit PatchSets(std::size_t count) : parent(count)
    {
        for (std::size_t i = 0; i < count; ++i)
            parent[i] = i;
    }
    std::size_t root(std::size_t i)
    {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    }
    /// The lower root stays the root, so a joined area starts with its first patch.
    void join(std::size_t a, std::size_t b)
    {
        a = root(a);
        b = root(b);
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<std::size_t> parent;
};

} // namespace

bool isThin(float t, float min, float max)
{
    return t > min && isThinWall(t, max);
}

bool isThinWall(float t, float max)
{
    return t < max - wallLimitTolerance;
}

ThinCounts thinCounts(const std::vector<float>& perFace, float min, float max, int bins)
{
    ThinCounts counts;
    std::vector<float> asShown = perFace;
    for (float& t : asShown) {
        if (!(t < max - wallLimitTolerance)) {
            t = max;
            ++counts.atMax;
        }
        counts.thin += isThinWall(t, max);
        counts.window += isThin(t, min, max);
    }
    counts.bins = thicknessHistogram(asShown, min, max, bins);
    return counts;
}

ThinAreasResult thinAreas(const MeshView& mesh, const std::vector<float>& perFace, const ThinAreaOptions& options)
{
    return detail::thinAreasOnScene(mesh, perFace, options, nullptr);
}

ThinAreasResult detail::thinAreasOnScene(const MeshView& mesh, const std::vector<float>& perFace,
                                         const ThinAreaOptions& options, std::unique_ptr<RayScene> scene,
                                         std::unique_ptr<MarkingAreaMesh> givenHostMesh)
{
    validate(mesh);
    checkWindow(options.min, options.max);
    if (perFace.size() != mesh.triangleCount)
        throw InputError(std::to_string(perFace.size()) + " thickness values given for " +
                         std::to_string(mesh.triangleCount) + " triangles");
    if (!(options.minArea >= 0.0) || !std::isfinite(options.minArea))
        throw InputError("thin areas: the smallest area must be a finite number >= 0");

    ThinAreasResult result;
    std::vector<std::uint32_t> thin;
    for (std::size_t f = 0; f < perFace.size(); ++f) {
        if (isThinWall(perFace[f], options.max)) thin.push_back(static_cast<std::uint32_t>(f));
        result.windowFaces += isThin(perFace[f], options.min, options.max);
    }
    result.thinFaces = thin.size();

    // Crease readings leave the areas; the walls' two sides are joined below.
    std::vector<detail::WallReading> readings;
    const int threads = options.threads > 0 ? options.threads : defaultThreadCount();
    if (options.joinWallSides || options.dropCreases)
        readings = detail::wallReadings(mesh, perFace, thin, options.max, threads, scene.get(),
                                        {options.progress, 0.0f, 70.0f});
    detail::reportOrCancel(options.progress, 70.0f);
    // The scene is done with: the host mesh below does not need its memory beside its own.
    scene.reset();
    std::vector<std::uint32_t> walls, creases;
    for (std::size_t i = 0; i < thin.size(); ++i)
        (options.dropCreases && readings[i].crease ? creases : walls).push_back(thin[i]);
    result.creaseFaces = creases.size();
    // One host mesh and topology serve both selections; a part with no thin face needs neither.
    std::unique_ptr<detail::MarkingAreaMesh> hostMesh;
    if (!thin.empty())
        hostMesh = givenHostMesh ? std::move(givenHostMesh) : std::make_unique<detail::MarkingAreaMesh>(mesh);
    givenHostMesh.reset();
    if (!creases.empty()) result.creaseAreas = hostMesh->select(creases, "crease", threads).areas.size();

    std::vector<MarkingArea> patches;
    if (!walls.empty()) patches = hostMesh->select(walls, "thin", threads).areas;
    hostMesh.reset();
    detail::reportOrCancel(options.progress, 95.0f);
    constexpr std::size_t noPatch = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> patchOf(mesh.triangleCount, noPatch);
    for (std::size_t p = 0; p < patches.size(); ++p)
        for (std::uint32_t f : patches[p].faces)
            patchOf[f] = p;
    PatchSets sets(patches.size());
    if (options.joinWallSides)
        for (std::size_t i = 0; i < thin.size(); ++i) {
            const std::uint32_t opposite = readings[i].opposite;
            if (patchOf[thin[i]] != noPatch && opposite != detail::noFace && patchOf[opposite] != noPatch)
                sets.join(patchOf[thin[i]], patchOf[opposite]);
        }

    // Each joined area gathers its patches in their own order, starting with its root.
    std::vector<std::vector<std::uint32_t>> joined(patches.size());
    for (std::size_t p = 0; p < patches.size(); ++p) {
        std::vector<std::uint32_t>& faces = joined[sets.root(p)];
        faces.insert(faces.end(), patches[p].faces.begin(), patches[p].faces.end());
    }
    for (std::vector<std::uint32_t>& faces : joined) {
        if (faces.empty()) continue;
        ThinArea area = measure(mesh, perFace, std::move(faces), options.min);
        if (area.area < options.minArea) {
            ++result.droppedAreas;
            result.droppedFaces += area.faces.size();
        } else {
            result.areas.push_back(std::move(area));
        }
    }
    detail::reportOrCancel(options.progress, 100.0f);
    std::stable_sort(result.areas.begin(), result.areas.end(),
                     [](const ThinArea& a, const ThinArea& b) { return a.area > b.area; });
    result.thinnest.thickness = options.max;
    for (std::size_t i = 0; i < result.areas.size(); ++i) {
        ThinArea& area = result.areas[i];
        area.id = static_cast<int>(i + 1);
        if (!result.thinnest.found || area.minThickness < result.thinnest.thickness)
            result.thinnest = {true, area.minThickness, area.thinnestFace, area.id};
    }
    return result;
}

} // namespace meshprobe
