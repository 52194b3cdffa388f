// SPDX-License-Identifier: MIT
// The trapped-volume analysis and the build figures over many build directions: one import, each direction
// on its own thread with a grid of its own, results ranked best first.
#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "meshprobe/Cavities.h"
#include "meshprobe/Error.h"
#include "meshprobe/Orientation.h"
#include "toolkit/src/orient/BuildFigures.h"
#include "toolkit/src/adapters/CallGuards.h"
#include "meshprobe/detail/ParallelFor.h"
#include "toolkit/src/cavities/SuctionCups.h"
#include "toolkit/src/placement/Across.h"

namespace meshprobe {

namespace {

/// One figure a ranking compares, and the difference above a value that is still noise.
struct Criterion {
    std::string what; ///< "support area", read as "less support area"
    std::string unit;
    std::function<double(const OrientCandidate&)> value;
    std::function<double(double)> noise;
};

/// Groups of figures that tie, numbered from the least: the least figure and every figure within its noise
/// form the first group, the least of the rest starts the next. Unlike "within noise of each other", groups
/// are an order, so sorting by them is well defined, and the best group holds everything the best cannot be
/// told apart from.
std::vector<int> tieGroups(const std::vector<double>& values, const std::function<double(double)>& noise)
{
    std::vector<std::size_t> order(values.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    std::vector<int> group(values.size(), 0);
    int current = -1;
    double start = 0.0;
    for (std::size_t i : order) {
        if (current < 0 || values[i] - start > noise(start)) ++current, start = values[i];
        group[i] = current;
    }
    return group;
}

bool isAxis(const Direction& d)
{
    return int(d[0] == 0.0) + int(d[1] == 0.0) + int(d[2] == 0.0) == 2;
}

/// The criteria of a ranking, most important first, with noise on the coarsest grid's voxel: volumes within
/// one voxel layer (a layer over a cube of that volume, V^(2/3) voxel, and at least noiseVoxels voxels),
/// areas within 5 % (at least noiseVoxels voxel faces), heights within one voxel.
std::vector<Criterion> criteriaOf(OrientRanking ranking, double voxel)
{
    const auto volumeNoise = [voxel](double v) {
        return std::max(double(noiseVoxels) * voxel * voxel * voxel, std::cbrt(v) * std::cbrt(v) * voxel);
    };
    const auto areaNoise = [voxel](double a) { return std::max(double(noiseVoxels) * voxel * voxel, 0.05 * a); };
    const auto heightNoise = [voxel](double) { return voxel; };
    const Criterion trapped{"trapped material", "mm³", [](const OrientCandidate& c) { return c.estimatedVolume; },
                            volumeNoise};
    const Criterion sealed{"sealed cavity volume", "mm³", [](const OrientCandidate& c) { return c.sealedVolume; },
                           volumeNoise};
    const Criterion supports{"support area", "mm²", [](const OrientCandidate& c) { return c.overhangArea; }, areaNoise};
    const Criterion height{"build height", "mm", [](const OrientCandidate& c) { return c.buildHeight; }, heightNoise};
    const Criterion cups{"suction cup volume", "mm³", [](const OrientCandidate& c) { return c.suctionCupVolume; },
                         volumeNoise};
    switch (ranking) {
    case OrientRanking::Resin:
        return {sealed, supports, height};
    case OrientRanking::BottomUpResin:
        return {sealed, cups, supports, height};
    case OrientRanking::Powder:
        return {sealed, height};
    case OrientRanking::Fdm:
        return {supports, height};
    case OrientRanking::TrappedMaterial:
        break;
    }
    return {trapped};
}

std::string figure(double value, const std::string& unit)
{
    std::ostringstream text;
    text.precision(4);
    text << value << ' ' << unit;
    return text.str();
}

/// Why the candidate at `best` went before the one at `next`: the first criterion whose groups differ.
std::string reasonFor(const std::vector<OrientCandidate>& candidates, const std::vector<std::vector<int>>& groups,
                      const std::vector<Criterion>& criteria, std::size_t best, std::size_t next)
{
    const OrientCandidate &a = candidates[best], &b = candidates[next];
    for (std::size_t k = 0; k < criteria.size(); ++k)
        if (groups[k][best] != groups[k][next])
            return "less " + criteria[k].what + ": " + figure(criteria[k].value(a), criteria[k].unit) + " against " +
                   figure(criteria[k].value(b), criteria[k].unit);
    if (isAxis(a.up) != isAxis(b.up)) return "tied within noise; an axis direction goes first";
    if (a.buildHeight != b.buildHeight)
        return "tied within noise; the lower build goes first: " + figure(a.buildHeight, "mm") + " against " +
               figure(b.buildHeight, "mm");
    return "tied on every figure; first in the candidate order";
}

} // namespace

OrientRanking rankingFor(const std::string& base)
{
    if (base == "bottom-up-resin") return OrientRanking::BottomUpResin;
    if (base == "top-down-resin") return OrientRanking::Resin;
    if (base == "powder") return OrientRanking::Powder;
    if (base == "fdm") return OrientRanking::Fdm;
    throw InputError("unknown process \"" + base + "\" (bottom-up-resin, top-down-resin, powder, fdm)");
}

namespace {

/// Measures every direction, one thread each: the analysis of one grid gains less from a second thread than a
/// second grid does.
std::vector<OrientCandidate> measure(const MeshView& mesh, const std::vector<Direction>& directions,
                                     const detail::BuildFigures& figures, const OrientOptions& options,
                                     const detail::ProgressSlice& progress)
{
    std::vector<OrientCandidate> candidates(directions.size());
    const bool cups = options.ranking == OrientRanking::BottomUpResin;
    detail::ParallelForOptions team;
    team.threads = options.threads;
    auto isNoise = [&](long long voxels, double volume) {
        return voxels < noiseVoxels || volume < options.minCavityVolume;
    };
    detail::parallelFor(
        directions.size(), team,
        [&](std::size_t begin, std::size_t end, const detail::ParallelStop& stop) {
            for (std::size_t i = begin; i < end; ++i) {
                // A long direction ends early when the call is cancelled or another direction failed.
                const ProgressCallback running = [&stop](float) { return !stop.requested(); };
                CavityOptions run;
                run.up = directions[i];
                run.resolution = options.resolution;
                run.threads = 1;
                run.solids = false;
                run.progress = running;
                const CavitiesResult r = findCavities(mesh, run);
                OrientCandidate& c = candidates[i];
                c.up = directions[i];
                c.trappedVoxels = r.trappedVoxels;
                c.trappedVolume = r.trappedVolume;
                c.voxelSize = r.voxelSize;
                c.resolution = r.resolution;
                for (const CavityReport& cavity : r.cavities) {
                    if (isNoise(cavity.voxels, cavity.volume)) {
                        ++c.noiseCavities;
                        continue;
                    }
                    ++c.cavities;
                    c.estimatedVolume += cavity.estimatedVolume;
                    if (cavity.closed) ++c.sealedCavities, c.sealedVolume += cavity.estimatedVolume;
                }
                if (cups) {
                    const detail::SuctionCups found = detail::findSuctionCups(
                        mesh, directions[i], options.resolution, 1, noiseVoxels, options.minCavityVolume, running);
                    c.suctionCups = found.cups.size();
                    for (const CavityReport& cup : found.cups)
                        c.suctionCupVolume += cup.estimatedVolume;
                }
                detail::BuildFigureValues f = figures.measure(directions[i], options.overhangAngle);
                c.overhangArea = f.overhangArea;
                c.islands = f.islands;
                c.islandPoints = std::move(f.islandPoints);
                c.buildHeight = f.buildHeight;
                c.footprint = f.footprint;
            }
        },
        progress);
    return candidates;
}

/// The candidates best first, and why the first beat the second.
OrientResult ranked(const std::vector<OrientCandidate>& candidates, OrientRanking ranking)
{
    // One noise scale for all directions: the coarsest grid's, so that no direction wins by its grid alone.
    double voxel = 0.0;
    for (const OrientCandidate& c : candidates)
        voxel = std::max(voxel, c.voxelSize);
    const std::vector<Criterion> criteria = criteriaOf(ranking, voxel);
    std::vector<std::vector<int>> groups;
    for (const Criterion& criterion : criteria) {
        std::vector<double> values;
        for (const OrientCandidate& c : candidates)
            values.push_back(criterion.value(c));
        groups.push_back(tieGroups(values, criterion.noise));
    }
    std::vector<std::pair<std::vector<double>, std::size_t>> keys;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        std::vector<double> key;
        for (const std::vector<int>& g : groups)
            key.push_back(g[i]);
        key.push_back(isAxis(candidates[i].up) ? 0.0 : 1.0);
        key.push_back(candidates[i].buildHeight);
        keys.push_back({key, i});
    }
    std::sort(keys.begin(), keys.end()); // the index breaks the last tie: input order
    OrientResult result;
    for (const auto& entry : keys)
        result.candidates.push_back(candidates[entry.second]);
    if (keys.size() > 1) result.reason = reasonFor(candidates, groups, criteria, keys[0].second, keys[1].second);
    return result;
}

double angleBetween(const Direction& a, const Direction& b)
{
    return std::acos(std::clamp(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], -1.0, 1.0));
}

/// The widest angle from any direction of the set to its nearest neighbour (a right angle for one).
double spacingOf(const std::vector<Direction>& directions)
{
    double widest = 0.0;
    for (const Direction& a : directions) {
        double nearest = M_PI / 2;
        for (const Direction& b : directions)
            if (&a != &b) nearest = std::min(nearest, angleBetween(a, b));
        widest = std::max(widest, nearest);
    }
    return directions.size() > 1 ? widest : M_PI / 2;
}

/// Six directions at `angle` from `centre`, evenly around it, starting toward the x axis (y for directions
/// near x), none within a quarter of the angle of one already tried.
std::vector<Direction> coneAround(const Direction& centre, double angle, const std::vector<Direction>& tried)
{
    const auto [u, v] = detail::across(centre);
    std::vector<Direction> out;
    for (int i = 0; i < 6; ++i) {
        const double a = M_PI / 3 * i, c = std::cos(angle), s = std::sin(angle);
        Direction d;
        for (int k = 0; k < 3; ++k)
            d[k] = c * centre[k] + s * (std::cos(a) * u[k] + std::sin(a) * v[k]);
        const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        for (double& x : d)
            x /= n;
        const auto near = [&](const Direction& t) { return angleBetween(t, d) < angle / 4; };
        if (std::none_of(tried.begin(), tried.end(), near) && std::none_of(out.begin(), out.end(), near))
            out.push_back(d);
    }
    return out;
}

} // namespace

OrientResult orient(const MeshView& mesh, const OrientOptions& options)
{
    validate(mesh);
    if (options.threads < 0) throw InputError("threads " + std::to_string(options.threads) + " is negative");
    const std::vector<Direction> directions = candidateDirections(options.directions);
    if (mesh.vertexCount == 0) throw InputError("the mesh has no vertices");
    if (options.resolution < 1 || options.resolution > 1290)
        throw InputError("resolution " + std::to_string(options.resolution) + " is outside 1..1290");
    if (!(options.minCavityVolume >= 0.0) || !std::isfinite(options.minCavityVolume))
        throw InputError("minimum cavity volume " + std::to_string(options.minCavityVolume) + " must be 0 or more");
    if (!(options.overhangAngle >= 0.0 && options.overhangAngle <= 90.0))
        throw InputError("overhang angle " + std::to_string(options.overhangAngle) + " is outside 0..90 degrees");
    if (options.refineRounds < 0 || options.refineRounds > 4)
        throw InputError("refinement rounds " + std::to_string(options.refineRounds) + " are outside 0..4");
    const detail::BuildFigures figures(mesh);

    // The coarse pass takes the progress bar's share of the directions it measures; each round of
    // refinement tries at most 18 more.
    const float coarse = float(directions.size()) / float(directions.size() + 18 * options.refineRounds);
    const detail::ProgressSlice progress{options.progress, 0.0f, 100.0f};
    std::vector<OrientCandidate> candidates = measure(mesh, directions, figures, options, progress.part(0.0f, coarse));
    OrientResult result = ranked(candidates, options.ranking);

    std::vector<Direction> tried = directions;
    double angle = spacingOf(directions) / 2;
    for (int round = 0; round < options.refineRounds; ++round, angle /= 2) {
        std::vector<Direction> added;
        for (std::size_t best = 0; best < std::min<std::size_t>(3, result.candidates.size()); ++best)
            for (const Direction& d : coneAround(result.candidates[best].up, angle, tried)) {
                added.push_back(d);
                tried.push_back(d);
            }
        const float from = coarse + (1.0f - coarse) * float(round) / float(options.refineRounds);
        const float to = coarse + (1.0f - coarse) * float(round + 1) / float(options.refineRounds);
        const std::vector<OrientCandidate> more = measure(mesh, added, figures, options, progress.part(from, to));
        candidates.insert(candidates.end(), more.begin(), more.end());
        result.refined.insert(result.refined.end(), added.begin(), added.end());
        std::vector<Direction> refined = std::move(result.refined);
        result = ranked(candidates, options.ranking);
        result.refined = std::move(refined);
    }
    result.suctionCupsMeasured = options.ranking == OrientRanking::BottomUpResin;
    detail::reportOrCancel(options.progress, 100.0f);
    return result;
}

} // namespace meshprobe
