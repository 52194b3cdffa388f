// SPDX-License-Identifier: MIT
// The trapped-volume analysis over many build directions: one import, each direction on its own thread
// with a grid of its own, results sorted best first.
#include <algorithm>

#include "meshprobe/Error.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Cavities.h"
#include "toolkit/src/ParallelFor.h"

namespace meshprobe {

OrientResult orient(const MeshView& mesh, const OrientOptions& options)
{
    validate(mesh);
    if (options.threads < 0) throw InputError("threads " + std::to_string(options.threads) + " is negative");
    const std::vector<Direction> directions = candidateDirections(options.directions);
    std::vector<OrientCandidate> candidates(directions.size());
    if (mesh.vertexCount == 0) throw InputError("the mesh has no vertices");
    if (options.resolution < 1 || options.resolution > 1290)
        throw InputError("resolution " + std::to_string(options.resolution) + " is outside 1..1290");

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
                                double estimate = 0.0;
                                for (const CavityReport& c : r.cavities)
                                    estimate += c.estimatedVolume;
                                candidates[i] = {directions[i], r.trappedVoxels, r.trappedVolume, estimate,
                                                 r.cavityCount, r.voxelSize,     r.resolution};
                            }
                        },
                        {options.progress, 0.0f, 100.0f});

    std::stable_sort(candidates.begin(), candidates.end(), [](const OrientCandidate& a, const OrientCandidate& b) {
        if (a.estimatedVolume != b.estimatedVolume) return a.estimatedVolume < b.estimatedVolume;
        return a.cavities < b.cavities;
    });
    return {candidates};
}

} // namespace meshprobe
