// SPDX-License-Identifier: MIT
// Drain-hole search: a disc of the hole's diameter fitted into the cavity's lowest (or highest) region,
// then the cylinder's axis and rim lines counted through the part's surface and its volume probed for
// cavity voxels.
#include "toolkit/src/cavities/DrainHoleSearch.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "toolkit/src/placement/Across.h"

namespace meshprobe::detail {

namespace {

using Point = std::array<double, 3>;

std::uint64_t columnKey(int x, int y)
{
    return (std::uint64_t(std::uint32_t(x)) << 32) | std::uint32_t(y); // probes may lie outside the grid
}

/// Candidate drilling directions away from the cavity, in the placed frame (up is +z), most natural first.
std::vector<Point> candidateRays(bool vent)
{
    const double s = vent ? 1.0 : -1.0, h = std::sqrt(0.5);
    return {{0, 0, s},     {1, 0, 0},      {-1, 0, 0},    {0, 1, 0},     {0, -1, 0},
            {h, 0, s * h}, {-h, 0, s * h}, {0, h, s * h}, {0, -h, s * h}};
}

Point along(const Point& origin, double t, const Point& d)
{
    return {origin[0] + t * d[0], origin[1] + t * d[1], origin[2] + t * d[2]};
}

Point plus(const Point& a, const Point& b)
{
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

/// Rim lines of a hole checked for where they leave the part.
constexpr int rimLines = 12;
/// Start voxels tried per layer, nearest the layer's centre first.
constexpr std::size_t startsPerLayer = 4096;

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

int DrainHoleSearch::cavityAtPoint(const Point& p) const
{
    int q[3];
    for (int k = 0; k < 3; ++k)
        q[k] = static_cast<int>(std::floor((p[k] - grid.origin[k]) / grid.voxelSize()));
    return cavityAt(q[0], q[1], q[2]);
}

std::vector<Point> DrainHoleSearch::discSamples(const Point& d, double r, double spacing) const
{
    const auto [u, v] = across(d);
    std::vector<Point> out;
    // Rings `spacing` apart (at most 16 of them), points `spacing` apart along each (at most 128), the
    // outer ring first: where a disc does not fit, its rim finds out soonest.
    const int rings = r > 0.0 ? std::clamp(int(std::ceil(r / spacing)), 1, 16) : 0;
    for (int i = rings; i >= 1; --i) {
        const double rho = r * i / rings;
        const int points = std::clamp(int(std::ceil(2 * M_PI * rho / spacing)), 8, 128);
        for (int j = 0; j < points; ++j) {
            const double a = 2 * M_PI * j / points, c = rho * std::cos(a), s = rho * std::sin(a);
            out.push_back({c * u[0] + s * v[0], c * u[1] + s * v[1], c * u[2] + s * v[2]});
        }
    }
    out.push_back({0, 0, 0});
    return out;
}

std::optional<Point> DrainHoleSearch::startFor(std::size_t cavity, bool vent, const Point& d, double diameter) const
{
    const CavityVoxels& voxels = cavities.at(cavity);
    const double edge = grid.voxelSize();
    // The layer where liquid collects (or air gathers), and its centre.
    int layer = vent ? voxels.runs[0].z1 - 1 : voxels.runs[0].z0;
    for (const VoxelRun& r : voxels.runs)
        layer = vent ? std::max(layer, r.z1 - 1) : std::min(layer, r.z0);
    double cx = 0, cy = 0;
    int n = 0;
    for (const VoxelRun& r : voxels.runs)
        if (layer >= r.z0 && layer < r.z1) cx += r.x, cy += r.y, ++n;
    cx /= n, cy /= n;

    const double radius = std::max(0.0, 0.5 * diameter - 0.5 * edge);
    // How far the disc reaches along each axis, in voxels. Centred on a voxel, it needs at least twice that
    // many voxels of the cavity along the axis: a cavity box too small for it ends the search at once.
    std::array<double, 3> reach;
    for (int k = 0; k < 3; ++k)
        reach[k] = radius * std::sqrt(std::max(0.0, 1.0 - d[k] * d[k])) / edge;
    std::array<int, 3> lo{voxels.runs[0].x, voxels.runs[0].y, voxels.runs[0].z0}, hi = lo;
    for (const VoxelRun& r : voxels.runs) {
        lo = {std::min(lo[0], r.x), std::min(lo[1], r.y), std::min(lo[2], r.z0)};
        hi = {std::max(hi[0], r.x + 1), std::max(hi[1], r.y + 1), std::max(hi[2], r.z1)};
    }
    for (int k = 0; k < 3; ++k)
        if (hi[k] - lo[k] < 2.0 * reach[k] - 1e-9) return std::nullopt;

    const std::vector<Point> disc = discSamples(d, radius, 0.5 * edge);
    // A disc across a sideways drill reaches below its centre: its lowest fit starts that far above the
    // layer, and is looked for up to a diameter (plus the slack) further.
    const int first = std::max(0, int(std::ceil(reach[2] - 0.5)) - 1);
    const int layers = first + int(std::ceil(diameter / edge)) + 2;
    std::vector<std::pair<double, std::array<int, 2>>> starts;
    for (int step = first; step < layers; ++step) {
        const int z = vent ? layer - step : layer + step;
        starts.clear();
        for (const VoxelRun& r : voxels.runs)
            if (z >= r.z0 && z < r.z1 && r.x + 1.5 > lo[0] + reach[0] && r.x - 0.5 < hi[0] - reach[0] &&
                r.y + 1.5 > lo[1] + reach[1] && r.y - 0.5 < hi[1] - reach[1])
                starts.push_back({std::hypot(r.x - cx, r.y - cy), {r.x, r.y}});
        const std::size_t tried = std::min(starts.size(), startsPerLayer);
        std::partial_sort(starts.begin(), starts.begin() + long(tried), starts.end());
        for (std::size_t i = 0; i < tried; ++i) {
            const Point centre = gridPoint(grid, {starts[i].second[0] + 0.5, starts[i].second[1] + 0.5, z + 0.5});
            const bool fits = std::all_of(disc.begin(), disc.end(), [&](const Point& offset) {
                return cavityAtPoint(plus(centre, offset)) == int(cavity);
            });
            if (fits) return centre;
        }
    }
    return std::nullopt;
}

void DrainHoleSearch::settle(Point& start, bool vent, const Point& d, double diameter) const
{
    // How far the disc reaches below (vents: above) its centre.
    const double reach = 0.5 * diameter * std::sqrt(std::max(0.0, 1.0 - d[2] * d[2]));
    if (reach <= 0.0) return;
    const double edge = grid.voxelSize();
    const float down = vent ? 1.0f : -1.0f;
    const auto floor = scene.nearest({float(start[0]), float(start[1]), float(start[2])}, {0.0f, 0.0f, down}, 0.0f,
                                     float(reach + 1.5 * edge));
    if (!floor) return;
    // A hundredth of a voxel short of the floor: a rim line running in the floor's plane would graze it.
    const double gap = floor->t - reach - 0.01 * edge;
    if (gap > 0.0 && gap <= 1.5 * edge) start[2] += vent ? gap : -gap;
}

std::optional<DrainHole> DrainHoleSearch::holeFrom(std::size_t cavity, const Point& origin, const Point& d,
                                                   double diameter) const
{
    const double edge = grid.voxelSize(), radius = 0.5 * diameter;
    // Where a line from `from` first leaves the material into air that is no cavity: its distance, and
    // whether nothing of the part lies beyond (a drill can come from outside along it).
    struct Exit {
        double t;
        bool clear;
    };
    auto exitOf = [&](const Point& from, bool startsInAir) -> std::optional<Exit> {
        const auto hits = scene.crossings(from, d, edge * 1e-3);
        std::size_t exit = hits.size();
        if (startsInAir) {
            // Count through the surface until the drill is back in air.
            if (hits.empty() || !hits[0].entering) return std::nullopt;
            int depth = 0;
            for (std::size_t h = 0; h < hits.size() && exit == hits.size(); ++h) {
                depth += hits[h].entering ? 1 : -1;
                if (depth == 0) exit = h;
            }
        } else { // a rim line may start in the wall, within the slack of the fit
            for (std::size_t h = 0; h < hits.size() && exit == hits.size(); ++h)
                if (!hits[h].entering) exit = h;
        }
        if (exit == hits.size()) return std::nullopt;
        // The air behind the exit must drain: no cavity voxel in the next few voxels of it.
        const double airEnd = exit + 1 < hits.size() ? hits[exit + 1].t : hits[exit].t + 3 * edge;
        for (double t = hits[exit].t + 0.5 * edge; t < std::min(airEnd, hits[exit].t + 3 * edge); t += 0.5 * edge)
            if (cavityAtPoint(along(from, t, d)) >= 0) return std::nullopt;
        // The part stands on its lowest faces: a hole whose rim the plate covers cannot drain while printing.
        if (along(from, hits[exit].t, d)[2] - plateHeight < 1e-3 * edge) return std::nullopt;
        return Exit{hits[exit].t, exit + 1 == hits.size()};
    };

    const auto wallHits = scene.crossings(origin, d, edge * 1e-3);
    if (wallHits.empty() || !wallHits[0].entering) return std::nullopt;
    const double wall = wallHits[0].t;
    const auto axis = exitOf(origin, true);
    if (!axis) return std::nullopt;
    // The axis at least half a diameter above the plate: below, the plate covers part of the mouth.
    if (along(origin, axis->t, d)[2] - plateHeight < std::max(radius, 1e-3 * edge)) return std::nullopt;
    bool clear = axis->clear;
    const auto [u, v] = across(d);
    for (int i = 0; i < rimLines && radius > 0.0; ++i) {
        const double a = 2 * M_PI * i / rimLines;
        const Point offset{radius * (std::cos(a) * u[0] + std::sin(a) * v[0]),
                           radius * (std::cos(a) * u[1] + std::sin(a) * v[1]),
                           radius * (std::cos(a) * u[2] + std::sin(a) * v[2])};
        const auto rim = exitOf(plus(origin, offset), false);
        if (!rim) return std::nullopt;
        clear = clear && rim->clear;
    }
    // Material only: no voxel of another cavity inside the cylinder, and none of its own beyond the mouth
    // (a slanted wall keeps the rim in the cavity up to a radius further in).
    const std::vector<Point> disc = discSamples(d, radius, edge);
    for (double t = wall; t <= axis->t; t += 0.5 * edge)
        for (const Point& offset : disc) {
            const int c = cavityAtPoint(plus(along(origin, t, d), offset));
            if (c >= 0 && (c != int(cavity) || t > wall + radius + edge)) return std::nullopt;
        }

    DrainHole hole;
    for (int k = 0; k < 3; ++k) {
        hole.wallPoint[k] = origin[k] + wall * d[k];
        hole.exitPoint[k] = origin[k] + axis->t * d[k];
        hole.direction[k] = -d[k];
    }
    hole.length = axis->t - wall;
    hole.diameter = diameter;
    hole.reachable = clear;
    return hole;
}

std::optional<DrainHole> DrainHoleSearch::find(std::size_t cavity, bool vent, double diameter) const
{
    if (cavities.at(cavity).runs.empty()) return std::nullopt;
    std::optional<DrainHole> best;
    for (const Point& d : candidateRays(vent)) {
        auto start = startFor(cavity, vent, d, diameter);
        if (!start) continue;
        settle(*start, vent, d, diameter);
        auto hole = holeFrom(cavity, *start, d, diameter);
        if (!hole) continue;
        hole->kind = vent ? "vent" : "drain";
        if (best &&
            (best->reachable > hole->reachable || (best->reachable == hole->reachable && hole->length >= best->length)))
            continue;
        best = hole;
    }
    return best;
}

double DrainHoleSearch::largestDiameter(std::size_t cavity, bool vent, double limit) const
{
    double fits = 0.1 * grid.voxelSize();
    if (fits >= limit || !find(cavity, vent, fits)) return 0.0;
    double fails = limit;
    while (fails - fits > std::max(0.01 * limit, 0.01)) {
        const double middle = 0.5 * (fits + fails);
        (find(cavity, vent, middle) ? fits : fails) = middle;
    }
    return fits;
}

} // namespace meshprobe::detail
