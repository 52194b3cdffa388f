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
#include "toolkit/src/BuildFigures.h"
#include "toolkit/src/ParallelFor.h"

namespace meshprobe {

namespace {

/// One figure a ranking compares, with the smallest difference that is not noise.
struct Criterion {
    std::string what; ///< "support area", read as "less support area"
    std::string unit;
    std::function<double(const OrientCandidate&)> value;
    double noise;
};

/// Where a figure falls on a scale of 5 % steps above its noise floor: figures in one bucket tie. Buckets
/// (unlike "within 5 % of each other") are an order, so sorting by them is well defined.
long bucket(double value, double noise)
{
    if (!(value > noise)) return 0;
    return 1 + static_cast<long>(std::floor(std::log(value / noise) / std::log(1.05)));
}

bool isAxis(const Direction& d)
{
    return int(d[0] == 0.0) + int(d[1] == 0.0) + int(d[2] == 0.0) == 2;
}

std::vector<Criterion> criteriaOf(OrientRanking ranking, double voxel)
{
    const double volume = noiseVoxels * voxel * voxel * voxel, area = noiseVoxels * voxel * voxel;
    const Criterion trapped{"trapped material", "mm³", [](const OrientCandidate& c) { return c.estimatedVolume; },
                            volume};
    const Criterion sealed{"sealed cavity volume", "mm³", [](const OrientCandidate& c) { return c.sealedVolume; },
                           volume};
    const Criterion supports{"support area", "mm²", [](const OrientCandidate& c) { return c.overhangArea; }, area};
    const Criterion height{"build height", "mm", [](const OrientCandidate& c) { return c.buildHeight; }, voxel};
    switch (ranking) {
    case OrientRanking::Resin:
        return {sealed, supports, height};
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

std::string reasonFor(const OrientCandidate& best, const OrientCandidate& next, const std::vector<Criterion>& criteria)
{
    for (const Criterion& c : criteria)
        if (bucket(c.value(best), c.noise) != bucket(c.value(next), c.noise))
            return "less " + c.what + ": " + figure(c.value(best), c.unit) + " against " +
                   figure(c.value(next), c.unit);
    if (isAxis(best.up) != isAxis(next.up)) return "tied within noise; an axis direction goes first";
    if (best.buildHeight != next.buildHeight)
        return "tied within noise; the lower build goes first: " + figure(best.buildHeight, "mm") + " against " +
               figure(next.buildHeight, "mm");
    return "tied on every figure; first in the candidate order";
}

} // namespace

OrientRanking rankingFor(const std::string& base)
{
    if (base == "bottom-up-resin" || base == "top-down-resin") return OrientRanking::Resin;
    if (base == "powder") return OrientRanking::Powder;
    if (base == "fdm") return OrientRanking::Fdm;
    throw InputError("unknown process \"" + base + "\" (bottom-up-resin, top-down-resin, powder, fdm)");
}

OrientResult orient(const MeshView& mesh, const OrientOptions& options)
{
    validate(mesh);
    if (options.threads < 0) throw InputError("threads " + std::to_string(options.threads) + " is negative");
    const std::vector<Direction> directions = candidateDirections(options.directions);
    std::vector<OrientCandidate> candidates(directions.size());
    if (mesh.vertexCount == 0) throw InputError("the mesh has no vertices");
    if (options.resolution < 1 || options.resolution > 1290)
        throw InputError("resolution " + std::to_string(options.resolution) + " is outside 1..1290");
    if (!(options.minCavityVolume >= 0.0) || !std::isfinite(options.minCavityVolume))
        throw InputError("minimum cavity volume " + std::to_string(options.minCavityVolume) + " must be 0 or more");
    if (!(options.overhangAngle >= 0.0 && options.overhangAngle <= 90.0))
        throw InputError("overhang angle " + std::to_string(options.overhangAngle) + " is outside 0..90 degrees");
    const detail::BuildFigures figures(mesh);

    // Directions run side by side, one thread each: the analysis of one grid gains less from a second
    // thread than a second grid does.
    detail::ParallelForOptions team;
    team.threads = options.threads;
    detail::parallelFor(directions.size(), team,
                        [&](std::size_t begin, std::size_t end, const detail::ParallelStop& stop) {
                            for (std::size_t i = begin; i < end; ++i) {
                                CavityOptions run;
                                run.up = directions[i];
                                run.resolution = options.resolution;
                                run.threads = 1;
                                run.solids = false;
                                // A long direction ends early when the call is cancelled or another direction failed.
                                run.progress = [&stop](float) { return !stop.requested(); };
                                const CavitiesResult r = findCavities(mesh, run);
                                OrientCandidate& c = candidates[i];
                                c.up = directions[i];
                                c.trappedVoxels = r.trappedVoxels;
                                c.trappedVolume = r.trappedVolume;
                                c.voxelSize = r.voxelSize;
                                c.resolution = r.resolution;
                                for (const CavityReport& cavity : r.cavities) {
                                    if (cavity.voxels < noiseVoxels || cavity.volume < options.minCavityVolume) {
                                        ++c.noiseCavities;
                                        continue;
                                    }
                                    ++c.cavities;
                                    c.estimatedVolume += cavity.estimatedVolume;
                                    if (cavity.closed) ++c.sealedCavities, c.sealedVolume += cavity.estimatedVolume;
                                }
                                const detail::BuildFigureValues f =
                                    figures.measure(directions[i], options.overhangAngle);
                                c.overhangArea = f.overhangArea;
                                c.islands = f.islands;
                                c.buildHeight = f.buildHeight;
                                c.footprint = f.footprint;
                            }
                        },
                        {options.progress, 0.0f, 100.0f});

    // One noise scale for all directions: the coarsest grid's, so that no direction wins by its grid alone.
    double voxel = 0.0;
    for (const OrientCandidate& c : candidates)
        voxel = std::max(voxel, c.voxelSize);
    const std::vector<Criterion> criteria = criteriaOf(options.ranking, voxel);
    auto key = [&](const OrientCandidate& c) {
        std::vector<double> k;
        for (const Criterion& criterion : criteria)
            k.push_back(double(bucket(criterion.value(c), criterion.noise)));
        k.push_back(isAxis(c.up) ? 0.0 : 1.0);
        k.push_back(c.buildHeight);
        return k;
    };
    std::vector<std::pair<std::vector<double>, std::size_t>> keys;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        keys.push_back({key(candidates[i]), i});
    std::sort(keys.begin(), keys.end()); // the index breaks the last tie: input order
    OrientResult result;
    for (const auto& entry : keys)
        result.candidates.push_back(candidates[entry.second]);
    if (result.candidates.size() > 1) result.reason = reasonFor(result.candidates[0], result.candidates[1], criteria);
    return result;
}

} // namespace meshprobe
