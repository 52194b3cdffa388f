// SPDX-License-Identifier: MIT
// Chunked work on a few threads with progress, cancellation and failures handled on the calling thread.
#include "meshprobe/detail/ParallelFor.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include <omp.h>

#include "meshprobe/Error.h"
#include "meshprobe/Threads.h"

namespace meshprobe {

int defaultThreadCount()
{
    // OpenMP's count honours the process's CPU affinity (taskset, container limits), which
    // std::thread::hardware_concurrency does not.
    return std::max(1, omp_get_num_procs());
}

namespace detail {

namespace {

/// How often the calling thread reports while workers run: often enough for a smooth bar and a prompt
/// cancel, rarely enough to cost nothing.
constexpr std::chrono::milliseconds reportInterval{20};

struct TeamState {
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    ParallelStop stop;
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    std::exception_ptr failure;

    void fail(std::exception_ptr error)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!failure) failure = std::move(error);
        stop.request();
    }
};

void runSerially(std::size_t count, std::size_t chunk,
                 const std::function<void(std::size_t, std::size_t, const ParallelStop&)>& body,
                 const ProgressSlice& progress)
{
    auto lastReport = std::chrono::steady_clock::now();
    std::size_t done = 0;
    // Reports the items done so far, at most once an interval; false when the caller asked to stop.
    auto reportDue = [&] {
        const auto now = std::chrono::steady_clock::now();
        if (!progress.callback || now - lastReport < reportInterval) return true;
        lastReport = now;
        return progress.report(float(done) / float(count));
    };
    const ParallelStop stop(reportDue);
    for (std::size_t begin = 0; begin < count; begin += chunk) {
        body(begin, std::min(count, begin + chunk), stop);
        done = std::min(count, begin + chunk);
        if (stop.requested()) throw Cancelled();
    }
}

} // namespace

void parallelFor(std::size_t count, const ParallelForOptions& options,
                 const std::function<void(std::size_t, std::size_t, const ParallelStop&)>& body,
                 const ProgressSlice& progress)
{
    if (options.threads < 0) throw InputError("threads " + std::to_string(options.threads) + " is negative");
    // A first report before any work: a small job can be done before the first interval has passed, and
    // the caller must still get its chance to cancel.
    if (!progress.report(0.0f)) throw Cancelled();
    if (count == 0) return;
    const std::size_t chunk = std::max<std::size_t>(1, options.chunk);
    const std::size_t chunks = (count + chunk - 1) / chunk;
    const int requested = options.threads > 0 ? options.threads : defaultThreadCount();
    const auto threads = static_cast<std::size_t>(std::min<std::size_t>(std::size_t(requested), chunks));
    if (threads <= 1 || count < options.serialBelow) {
        runSerially(count, chunk, body, progress);
        return;
    }

    TeamState state;
    auto work = [&] {
        try {
            while (!state.stop.requested()) {
                const std::size_t begin = state.next.fetch_add(chunk);
                if (begin >= count) break;
                const std::size_t end = std::min(count, begin + chunk);
                body(begin, end, state.stop);
                state.finished.fetch_add(end - begin, std::memory_order_relaxed);
            }
        } catch (...) {
            state.fail(std::current_exception());
        }
        const std::lock_guard<std::mutex> lock(state.mutex);
        --state.running;
        state.changed.notify_all();
    };

    // Whichever way this function is left (a thread that cannot start, a callback that throws), the
    // workers are stopped and joined before the state they share goes away.
    std::vector<std::thread> workers;
    struct JoinWorkers {
        TeamState& state;
        std::vector<std::thread>& workers;
        ~JoinWorkers()
        {
            state.stop.request();
            for (std::thread& worker : workers)
                if (worker.joinable()) worker.join();
        }
    } joinWorkers{state, workers};

    workers.reserve(threads);
    for (std::size_t w = 0; w < threads; ++w) {
        {
            const std::lock_guard<std::mutex> lock(state.mutex);
            ++state.running;
        }
        try {
            workers.emplace_back(work);
        } catch (...) {
            {
                const std::lock_guard<std::mutex> lock(state.mutex);
                --state.running;
            }
            // The workers already started finish the work; with none (the system has no thread to give),
            // the calling thread does it alone.
            if (workers.empty()) {
                runSerially(count, chunk, body, progress);
                return;
            }
            break;
        }
    }

    bool cancelled = false;
    {
        std::unique_lock<std::mutex> lock(state.mutex);
        while (state.running > 0) {
            state.changed.wait_for(lock, reportInterval);
            if (!progress.callback || cancelled || state.running == 0) continue;
            const float done = float(state.finished.load()) / float(count);
            lock.unlock();
            const bool goOn = progress.report(done);
            lock.lock();
            if (!goOn) {
                cancelled = true;
                state.stop.request();
            }
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    if (state.failure) std::rethrow_exception(state.failure);
    if (cancelled) throw Cancelled();
}

} // namespace detail
} // namespace meshprobe
