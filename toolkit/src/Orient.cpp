// SPDX-License-Identifier: MIT
// The trapped-volume analysis over many build directions: one import, each direction on its own thread
// with a grid of its own, results sorted best first.
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <thread>

#include "meshprobe/Error.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Cavities.h"

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
    const int workers = std::max(1, std::min<int>(options.threads > 0 ? options.threads : omp_get_num_procs(),
                                                  static_cast<int>(directions.size())));
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto work = [&](bool reports) {
        for (std::size_t i = next++; i < directions.size() && !stop; i = next++) {
            try {
                CavityOptions run;
                run.up = directions[i];
                run.resolution = options.resolution;
                run.threads = 1;
                run.solids = false;
                // The calling thread also reports (and so can be cancelled) while its own direction runs.
                run.progress = [&](float percent) {
                    if (stop) return false;
                    if (reports && options.progress &&
                        !options.progress(100.0f * (float(done) + percent / 100.0f) / float(directions.size())))
                        stop = true;
                    return !stop.load();
                };
                const CavitiesResult r = findCavities(mesh, run);
                double estimate = 0.0;
                for (const CavityReport& c : r.cavities)
                    estimate += c.estimatedVolume;
                candidates[i] = {directions[i], r.trappedVoxels, r.trappedVolume, estimate,
                                 r.cavityCount, r.voxelSize,     r.resolution};
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureLock);
                if (!failure) failure = std::current_exception();
                stop = true;
            }
            ++done;
            // Only the calling thread reports, as ProgressCallback promises.
            if (reports && options.progress && !options.progress(100.0f * float(done) / float(directions.size())))
                stop = true;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < workers; ++t)
        threads.emplace_back(work, false);
    work(true);
    for (std::thread& t : threads)
        t.join();
    if (failure) std::rethrow_exception(failure);
    if (stop || done != directions.size()) throw Cancelled();

    std::stable_sort(candidates.begin(), candidates.end(), [](const OrientCandidate& a, const OrientCandidate& b) {
        if (a.estimatedVolume != b.estimatedVolume) return a.estimatedVolume < b.estimatedVolume;
        return a.cavities < b.cavities;
    });
    return {candidates};
}

} // namespace meshprobe
