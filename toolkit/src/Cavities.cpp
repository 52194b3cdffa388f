// SPDX-License-Identifier: MIT
// Cavities for any build direction: the mesh is turned so that up is +z, analysed, and every cavity is read
// back as voxel runs from its column triangles, located, surfaced and brought back to the model's frame.
#include "meshprobe/Cavities.h"

#include <cmath>
#include <limits>
#include <memory>

#include "meshprobe/Error.h"
#include "meshprobe/TrappedVolumes.h"
#include "toolkit/src/CavityVoxels.h"
#include "toolkit/src/DrainHoleSearch.h"

namespace meshprobe {

namespace {

using Point = std::array<double, 3>;

void checkOptions(const CavityOptions& options)
{
    if (!(options.minVolume >= 0.0) || !std::isfinite(options.minVolume))
        throw InputError("minimum cavity volume " + std::to_string(options.minVolume) + " must be 0 or more");
    if (!(options.drainHoleDiameter >= 0.0) || !std::isfinite(options.drainHoleDiameter))
        throw InputError("drain hole diameter " + std::to_string(options.drainHoleDiameter) + " must be 0 or more");
    const double length =
        std::sqrt(options.up[0] * options.up[0] + options.up[1] * options.up[1] + options.up[2] * options.up[2]);
    if (!(std::fabs(length - 1.0) < 1e-6)) throw InputError("the up direction must be a unit vector");
}

/// Grid-frame positions (voxel coordinates) to model-frame positions.
struct Placement {
    const detail::VoxelGrid& grid;
    const Rotation& rotation;
    Point toModel(const Point& voxelCoordinates) const { return rotation.applyInverse(grid.corner(voxelCoordinates)); }
};

void locate(CavityReport& report, const detail::CavityVoxels& voxels, const Placement& place, const Direction& up)
{
    double inf = std::numeric_limits<double>::infinity();
    report.boundsMin = {inf, inf, inf};
    report.boundsMax = {-inf, -inf, -inf};
    Point sum{0, 0, 0};
    int low = std::numeric_limits<int>::max(), high = std::numeric_limits<int>::min();
    for (const detail::VoxelRun& r : voxels.runs) {
        // The box of the voxels is the box of their runs' corners, whatever the rotation.
        for (int c = 0; c < 8; ++c) {
            const Point p =
                place.toModel({double(r.x + (c & 1)), double(r.y + ((c >> 1) & 1)), double((c & 4) ? r.z1 : r.z0)});
            for (int k = 0; k < 3; ++k) {
                report.boundsMin[k] = std::min(report.boundsMin[k], p[k]);
                report.boundsMax[k] = std::max(report.boundsMax[k], p[k]);
            }
        }
        const double n = r.z1 - r.z0;
        sum[0] += n * (r.x + 0.5);
        sum[1] += n * (r.y + 0.5);
        sum[2] += n * (r.z0 + r.z1) / 2.0;
        low = std::min(low, r.z0);
        high = std::max(high, r.z1);
    }
    const double count = double(voxels.count());
    report.centroid = place.toModel({sum[0] / count, sum[1] / count, sum[2] / count});
    // Centre of the lowest and of the highest layer, on the layer's outer face.
    auto layerCentre = [&](int layer, double faceZ) {
        double x = 0, y = 0, n = 0;
        for (const detail::VoxelRun& r : voxels.runs)
            if (layer >= r.z0 && layer < r.z1) x += r.x + 0.5, y += r.y + 0.5, n += 1;
        return place.toModel({x / n, y / n, faceZ});
    };
    report.lowestPoint = layerCentre(low, low);
    report.highestPoint = layerCentre(high - 1, high);
    auto height = [&](const Point& p) { return p[0] * up[0] + p[1] * up[1] + p[2] * up[2]; };
    report.lowestHeight = height(report.lowestPoint);
    report.highestHeight = height(report.highestPoint);
}

Mesh toModel(const Mesh& gridMesh, const Placement& place)
{
    Mesh out = gridMesh;
    for (std::size_t v = 0; v < out.vertexCount(); ++v) {
        float* p = &out.vertices[3 * v];
        const Point q = place.toModel({double(p[0]), double(p[1]), double(p[2])});
        for (int k = 0; k < 3; ++k)
            p[k] = static_cast<float>(q[k]);
    }
    return out;
}

Mesh columnsToModel(const Mesh& columns, const Rotation& rotation)
{
    Mesh out = columns;
    for (std::size_t v = 0; v < out.vertexCount(); ++v) {
        float* p = &out.vertices[3 * v];
        const Point q = rotation.applyInverse({double(p[0]), double(p[1]), double(p[2])});
        for (int k = 0; k < 3; ++k)
            p[k] = static_cast<float>(q[k]);
    }
    return out;
}

DrainHole holeToModel(DrainHole hole, const Rotation& rotation)
{
    hole.wallPoint = rotation.applyInverse(hole.wallPoint);
    hole.exitPoint = rotation.applyInverse(hole.exitPoint);
    hole.direction = rotation.applyInverse(hole.direction);
    return hole;
}

} // namespace

CavitiesResult findCavities(const MeshView& mesh, const CavityOptions& options)
{
    validate(mesh);
    checkOptions(options);
    const Rotation rotation = rotationTakingToZ(options.up);
    const Mesh placed = rotated(mesh, rotation);

    TrappedOptions trapped;
    trapped.resolution = options.resolution;
    trapped.up = BuildDirection::PlusZ;
    trapped.threads = options.threads;
    trapped.cavityMeshes = true; // the column triangles carry the voxels
    if (options.progress) trapped.progress = [&](float percent) { return options.progress(percent * 0.9f); };
    TrappedResult analysis = trappedVolumes(placed, trapped);

    CavitiesResult result;
    result.resolution = analysis.resolution;
    result.up = options.up;
    result.threads = analysis.threads;
    result.voxelSize = analysis.voxelSize;
    result.trappedVoxels = analysis.trappedVoxels;
    result.trappedVolume = analysis.trappedVolume;
    result.cavityCount = analysis.cavities.size();

    const detail::VoxelGrid grid = detail::gridOver(placed, options.resolution);
    if (std::fabs(grid.voxelSize() - analysis.voxelSize) > 1e-9 * analysis.voxelSize)
        throw Error("cavity voxels: the grid does not match the analysis' grid");
    const Placement place{grid, rotation};
    const double voxelVolume = std::pow(grid.voxelSize(), 3);

    std::vector<detail::CavityVoxels> voxels;
    voxels.reserve(analysis.cavities.size());
    for (Cavity& cavity : analysis.cavities) {
        voxels.push_back(detail::voxelsFromColumns(cavity.mesh, grid));
        if (voxels.back().count() != cavity.voxels)
            throw Error("cavity voxels: the columns of cavity " + std::to_string(voxels.size()) + " hold " +
                        std::to_string(voxels.back().count()) + " voxels, the analysis counted " +
                        std::to_string(cavity.voxels));
    }
    std::unique_ptr<detail::DrainHoleSearch> drill;
    if (options.drainHoleDiameter > 0.0) drill = std::make_unique<detail::DrainHoleSearch>(placed, grid, voxels);

    for (std::size_t c = 0; c < analysis.cavities.size(); ++c) {
        Cavity& cavity = analysis.cavities[c];
        if (options.progress && !options.progress(90.0f + 10.0f * float(c) / float(analysis.cavities.size())))
            throw Cancelled();
        if (cavity.volume < options.minVolume) {
            ++result.tinyCavities;
            result.tinyVolume += cavity.volume;
            continue;
        }
        CavityReport report;
        report.number = static_cast<int>(c + 1);
        report.closed = cavity.name == "Closed";
        report.voxels = cavity.voxels;
        report.volume = cavity.volume;
        report.estimatedVolume =
            (double(cavity.voxels) + 0.5 * double(detail::boundaryFaceCount(voxels[c], grid.meshMin, grid.meshMax))) *
            voxelVolume;
        locate(report, voxels[c], place, options.up);
        if (options.solids) report.solid = toModel(detail::voxelSurface(voxels[c]), place);
        if (options.columns) report.columns = columnsToModel(cavity.mesh, rotation);
        if (drill) {
            if (auto hole = drill->find(c, false, options.drainHoleDiameter))
                report.drain = holeToModel(*hole, rotation);
            if (report.closed)
                if (auto hole = drill->find(c, true, options.drainHoleDiameter))
                    report.vent = holeToModel(*hole, rotation);
        }
        cavity.mesh = Mesh(); // one copy of each cavity at a time
        result.cavities.push_back(std::move(report));
    }
    if (options.progress && !options.progress(100.0f)) throw Cancelled();
    return result;
}

} // namespace meshprobe
