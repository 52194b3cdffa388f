// SPDX-License-Identifier: MIT
// Cavities for any build direction: the part is centred and turned so that up is +z, analysed, and every
// cavity's voxel runs are located, surfaced and brought back to the model's coordinates.
#include "meshprobe/Cavities.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <sstream>

#include "meshprobe/Error.h"
#include "toolkit/src/runtime/ReportOrCancel.h"
#include "toolkit/src/cavities/CavityVoxels.h"
#include "toolkit/src/cavities/DrainHoleSearch.h"
#include "toolkit/src/checks/MeshBox.h"
#include "toolkit/src/cavities/TrappedRun.h"

namespace meshprobe {

namespace {

using Point = std::array<double, 3>;

std::string millimetres(double value)
{
    std::ostringstream text;
    text.precision(6);
    text << value << " mm";
    return text.str();
}

void checkOptions(const CavityOptions& options, double partDiagonal)
{
    if (!(options.minVolume >= 0.0) || !std::isfinite(options.minVolume))
        throw InputError("minimum cavity volume " + std::to_string(options.minVolume) + " must be 0 or more");
    const double d = options.drainHoleDiameter;
    if (!(d >= 0.0 && d <= partDiagonal))
        throw InputError("drain hole diameter " + millimetres(d) + " is outside the valid range 0 (no holes) to " +
                         millimetres(partDiagonal) + " (the part's box diagonal)");
    const double length =
        std::sqrt(options.up[0] * options.up[0] + options.up[1] * options.up[1] + options.up[2] * options.up[2]);
    if (!(std::fabs(length - 1.0) < 1e-6)) throw InputError("the up direction must be a unit vector");
}

/// Grid positions (voxel coordinates) to the model's coordinates.
struct Placement {
    const detail::VoxelGrid& grid;
    const detail::AnalysisFrame& frame;
    Point toModel(const Point& voxelCoordinates) const
    {
        return frame.toModel(detail::gridPoint(grid, voxelCoordinates));
    }
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

DrainHole holeToModel(DrainHole hole, const detail::AnalysisFrame& frame)
{
    hole.wallPoint = frame.toModel(hole.wallPoint);
    hole.exitPoint = frame.toModel(hole.exitPoint);
    hole.direction = frame.rotation.applyInverse(hole.direction);
    return hole;
}

} // namespace

CavitiesResult findCavities(const MeshView& mesh, const CavityOptions& options)
{
    validate(mesh);
    // No hole can be wider than the part it is drilled into.
    checkOptions(options, detail::boxOf(mesh).diagonal());
    const detail::PlacedPart part = detail::placePart(mesh, rotationTakingToZ(options.up));

    ProgressCallback analysisProgress;
    if (options.progress) analysisProgress = [&](float percent) { return options.progress(percent * 0.9f); };
    detail::TrappedRun run =
        detail::runTrapped(part, options.resolution, options.threads, options.columns, analysisProgress);
    detail::reportOrCancel(analysisProgress, 100.0f);

    CavitiesResult result;
    result.resolution = options.resolution;
    result.up = options.up;
    result.threads = run.threads;
    result.voxelSize = run.grid.voxelSize();
    result.cavityCount = run.cavities.size();
    for (const detail::FoundCavity& cavity : run.cavities) {
        result.trappedVoxels += cavity.voxelCount();
        result.trappedVolume += cavity.volume; // in float, in list order, as the voxelizer's own count sums
    }

    const detail::VoxelGrid& grid = run.grid;
    const Placement place{grid, part.frame};
    const double voxelVolume = std::pow(grid.voxelSize(), 3);

    std::vector<detail::CavityVoxels> voxels;
    voxels.reserve(run.cavities.size());
    for (detail::FoundCavity& cavity : run.cavities)
        voxels.push_back(detail::cavityVoxels(std::move(cavity.runs)));
    std::unique_ptr<detail::DrainHoleSearch> drill;
    if (options.drainHoleDiameter > 0.0) drill = std::make_unique<detail::DrainHoleSearch>(part.mesh, grid, voxels);

    for (std::size_t c = 0; c < run.cavities.size(); ++c) {
        detail::FoundCavity& cavity = run.cavities[c];
        if (options.progress && !options.progress(90.0f + 10.0f * float(c) / float(run.cavities.size())))
            throw Cancelled();
        if (cavity.volume < options.minVolume || voxels[c].count() < options.minVoxels) {
            ++result.tinyCavities;
            result.tinyVolume += cavity.volume;
            continue;
        }
        CavityReport report;
        report.number = static_cast<int>(c + 1);
        report.closed = cavity.closed;
        report.voxels = voxels[c].count();
        report.volume = cavity.volume;
        report.estimatedVolume =
            (double(report.voxels) + 0.5 * double(detail::boundaryFaceCount(voxels[c], grid.meshMin, grid.meshMax))) *
            voxelVolume;
        locate(report, voxels[c], place, options.up);
        if (options.solids) report.solid = toModel(detail::voxelSurface(voxels[c]), place);
        if (cavity.columns) report.columns = std::move(*cavity.columns);
        if (drill) {
            const double d = options.drainHoleDiameter;
            if (auto hole = drill->find(c, false, d)) report.drain = holeToModel(*hole, part.frame);
            if (report.closed)
                if (auto hole = drill->find(c, true, d)) report.vent = holeToModel(*hole, part.frame);
            if (!report.drain || (report.closed && !report.vent)) {
                double largest = report.drain ? d : drill->largestDiameter(c, false, d);
                if (report.closed && largest > 0.0)
                    largest = std::min(largest, report.vent ? d : drill->largestDiameter(c, true, d));
                report.largestHoleDiameter = largest;
            }
        }
        cavity.columns.reset(); // one copy of each cavity at a time
        result.cavities.push_back(std::move(report));
    }
    if (options.progress && !options.progress(100.0f)) throw Cancelled();
    return result;
}

} // namespace meshprobe
