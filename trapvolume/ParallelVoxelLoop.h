// SPDX-License-Identifier: MIT
// The parallel loop shape of every voxelize step: OpenMP, dynamic schedule with chunks of one iteration,
// the progress step before each work item, and no exception leaving the parallel region.
#pragma once

#include <omp.h>

#include <atomic>
#include <exception>

#include "common/ParallelProgress.h"

namespace meshprobe {
namespace trap {

using common::ParallelProgress;

/// Keeps the first exception thrown by a work item so that it can be rethrown after the parallel region.
/// Only the thread that raises the flag writes the pointer; the region's closing barrier publishes it.
class FirstFailure {
public:
    template <typename Work> void run(Work&& work)
    {
        try {
            work();
        } catch (...) {
            if (!raised.exchange(true)) first = std::current_exception();
        }
    }

    bool failed() const { return raised.load(std::memory_order_relaxed); }

    void rethrowIfFailed() const
    {
        if (raised.load()) std::rethrow_exception(first);
    }

private:
    std::atomic<bool> raised{false};
    std::exception_ptr first;
};

/// The size of a team: `team` threads, or the default OpenMP team for 0.
inline int teamSizeOf(int team)
{
    return team > 0 ? team : omp_get_max_threads();
}

/// Runs body(i, scratch) for i in first..last (inclusive) on a team of teamSizeOf(team) threads, one iteration
/// per chunk. Every iteration starts with the progress step and runs its item only while neither a
/// cancellation nor a failed item has stopped the loop. Each thread gets its own default-constructed Scratch.
template <typename Scratch, typename Body>
void parallelVoxelLoop(int team, ParallelProgress& progress, FirstFailure& failure, int first, int last, Body&& body)
{
#pragma omp parallel num_threads(teamSizeOf(team))
    {
        Scratch scratch;
#pragma omp for schedule(dynamic, 1)
        for (int i = first; i <= last; ++i) {
            if (progress.step() && !failure.failed()) failure.run([&] { body(i, scratch); });
        }
    }
}

} // namespace trap
} // namespace meshprobe
