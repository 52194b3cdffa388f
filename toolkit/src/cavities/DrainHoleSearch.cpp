// SPDX-License-Identifier: MIT
// Drain-hole search: rays from the cavity's lowest (or highest) voxel, counted through the part's surface.
#include "toolkit/src/cavities/DrainHoleSearch.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace meshprobe::detail {

namespace {

std::uint64_t columnKey(int x, int y)
{
    return (std::uint64_t(std::uint32_t(x)) << 32) | std::uint32_t(y); // probes may lie outside the grid
}

/// Candidate drilling directions away from the cavity, in the placed frame (up is +z), most natural first.
std::vector<std::array<double, 3>> candidateRays(bool vent)
{
    const double s = vent ? 1.0 : -1.0, h = std::sqrt(0.5);
    return {{0, 0, s},     {1, 0, 0},      {-1, 0, 0},    {0, 1, 0},     {0, -1, 0},
            {h, 0, s * h}, {-h, 0, s * h}, {0, h, s * h}, {0, -h, s * h}};
}

} // namespace

DrainHoleSearch::DrainHoleSearch(const Mesh& placed, const VoxelGrid& g, const std::vector<CavityVoxels>& c)
    : grid(g), cavities(c), scene(placed)
{
    plateHeight = std::numeric_limits<double>::infinity();
    for (std::size_t v = 0; v < placed.vertexCount(); ++v)
        plateHeight = std::min(plateHeight, double(placed.vertices[3 * v + 2]));
    for (std::size_t i = 0; i < cavities.size(); ++i)
        for (const VoxelRun& r : cavities[i].runs)
            columns[columnKey(r.x, r.y)].push_back({r.z0, r.z1, static_cast<int>(i)});
}

int DrainHoleSearch::cavityAt(int x, int y, int z) const
{
    const auto found = columns.find(columnKey(x, y));
    if (found == columns.end()) return -1;
    for (const ColumnRun& r : found->second)
        if (z >= r.z0 && z < r.z1) return r.cavity;
    return -1;
}

int DrainHoleSearch::cavityAtPoint(const std::array<double, 3>& p) const
{
    int q[3];
    for (int k = 0; k < 3; ++k)
        q[k] = static_cast<int>(std::floor((p[k] - grid.origin[k]) / grid.voxelSize()));
    return cavityAt(q[0], q[1], q[2]);
}

std::optional<DrainHole> DrainHoleSearch::find(std::size_t cavity, bool vent, double diameter) const
{
    const CavityVoxels& voxels = cavities.at(cavity);
    if (voxels.runs.empty()) return std::nullopt;
    // The layer where liquid collects (or air gathers), and in it the voxel nearest the layer's centre.
    int layer = vent ? voxels.runs[0].z1 - 1 : voxels.runs[0].z0;
    for (const VoxelRun& r : voxels.runs)
        layer = vent ? std::max(layer, r.z1 - 1) : std::min(layer, r.z0);
    double cx = 0, cy = 0;
    int n = 0;
    for (const VoxelRun& r : voxels.runs)
        if (layer >= r.z0 && layer < r.z1) cx += r.x, cy += r.y, ++n;
    cx /= n, cy /= n;
    const VoxelRun* start = nullptr;
    for (const VoxelRun& r : voxels.runs)
        if (layer >= r.z0 && layer < r.z1 &&
            (!start || std::hypot(r.x - cx, r.y - cy) < std::hypot(start->x - cx, start->y - cy)))
            start = &r;
    const auto origin = gridPoint(grid, {start->x + 0.5, start->y + 0.5, layer + 0.5});

    const double edge = grid.voxelSize();
    std::optional<DrainHole> best;
    for (const auto& d : candidateRays(vent)) {
        const auto hits = scene.crossings(origin, d, edge * 1e-3);
        if (hits.empty() || !hits[0].entering) continue;
        // Count through the surface until the drill is back in air.
        int depth = 0;
        std::size_t exit = 0;
        for (std::size_t h = 0; h < hits.size() && !exit; ++h) {
            depth += hits[h].entering ? 1 : -1;
            if (depth == 0) exit = h;
        }
        if (!exit) continue;
        // The air behind the exit must drain: no cavity voxel in the next few voxels of it.
        const double airEnd = exit + 1 < hits.size() ? hits[exit + 1].t : hits[exit].t + 3 * edge;
        bool blocked = false;
        for (double t = hits[exit].t + 0.5 * edge; t < std::min(airEnd, hits[exit].t + 3 * edge) && !blocked;
             t += 0.5 * edge)
            blocked = cavityAtPoint({origin[0] + t * d[0], origin[1] + t * d[1], origin[2] + t * d[2]}) >= 0;
        if (blocked) continue;
        // The part stands on its lowest faces: a hole whose mouth the plate covers, or whose rim reaches
        // the plate, cannot be drilled or drain while printing.
        const double exitHeight = origin[2] + hits[exit].t * d[2];
        if (exitHeight - plateHeight < std::max(0.5 * diameter, 1e-3 * edge)) continue;
        const double length = hits[exit].t - hits[0].t;
        const bool reachable = exit + 1 == hits.size();
        if (best && (best->reachable > reachable || (best->reachable == reachable && length >= best->length))) continue;
        DrainHole hole;
        hole.kind = vent ? "vent" : "drain";
        for (int k = 0; k < 3; ++k) {
            hole.wallPoint[k] = origin[k] + hits[0].t * d[k];
            hole.exitPoint[k] = origin[k] + hits[exit].t * d[k];
            hole.direction[k] = -d[k];
        }
        hole.length = length;
        hole.diameter = diameter;
        hole.reachable = reachable;
        best = hole;
    }
    return best;
}

} // namespace meshprobe::detail
