// SPDX-License-Identifier: MIT
// The one way the toolkit and the layers above it run work on several threads: items taken in chunks by a few
// workers, progress and cancellation on the calling thread, every worker joined before anything is rethrown.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <utility>

#include "meshprobe/Progress.h"
#include "meshprobe/detail/ProgressSlice.h"

namespace meshprobe::detail {

/// What a body may ask while it runs: whether the call is being stopped (cancelled, or another item
/// failed), so that a long item can end early. Safe to ask from any thread. When the work runs on the
/// calling thread alone, asking also gives the caller's callback its turn (every few milliseconds), so a
/// long item polling it can be cancelled there too.
class ParallelStop {
public:
    explicit ParallelStop(std::function<bool()> pollCaller = {}) : poll(std::move(pollCaller)) {}
    bool requested() const
    {
        if (!flag.load(std::memory_order_relaxed) && poll && !poll()) flag.store(true, std::memory_order_relaxed);
        return flag.load(std::memory_order_relaxed);
    }
    void request() { flag.store(true, std::memory_order_relaxed); }

private:
    std::function<bool()> poll;
    mutable std::atomic<bool> flag{false};
};

struct ParallelForOptions {
    /// Worker threads; 0 means defaultThreadCount(). Never more threads than chunks.
    int threads = 0;
    /// Items a worker takes at a time.
    std::size_t chunk = 1;
    /// Below this many items the work runs on the calling thread alone (a team costs more than it saves).
    std::size_t serialBelow = 0;
};

/// Runs body(begin, end, stop) over [0, count) in chunks of options.chunk. With more than one thread the
/// chunks go to worker threads while the calling thread reports the fraction of items done to `progress`
/// every few milliseconds; on one thread the calling thread runs the chunks and reports between them. A
/// false answer from the callback stops the work (no further chunk starts; `stop` tells running bodies)
/// and throws Cancelled. When a body throws, no further chunk starts and the first exception is rethrown
/// once every worker has been joined. When no worker thread can be started at all, the calling thread does
/// the work alone.
void parallelFor(std::size_t count, const ParallelForOptions& options,
                 const std::function<void(std::size_t begin, std::size_t end, const ParallelStop& stop)>& body,
                 const ProgressSlice& progress = {});

} // namespace meshprobe::detail
