// SPDX-License-Identifier: MIT
// The per-face thickness rays on worker threads; the calling thread reports progress and cancels.
#include "toolkit/src/ThicknessRayPass.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "analysis/FaceTree.h"
#include "analysis/ThicknessRays.h"
#include "meshprobe/Error.h"

namespace meshprobe::detail {

namespace {

// Faces per grab: small enough that a cancellation is seen within milliseconds and the last grabs even
// out the threads, large enough that the shared counter is not contended.
constexpr std::size_t chunkFaces = 64;
constexpr auto reportInterval = std::chrono::milliseconds(20);

/// What the workers share.
struct PassState {
    std::atomic<std::size_t> next{0};     ///< first face not yet handed out
    std::atomic<std::size_t> finished{0}; ///< faces done
    std::atomic<bool> stop{false};        ///< cancelled or failed: take no more faces
    std::mutex mutex;
    std::condition_variable workersDone;
    int running = 0;
    std::exception_ptr failure;
};

} // namespace

std::vector<float> thicknessRayPass(UMesh<float>& mesh, float max, int samples, int threads,
                                    const ProgressCallback& progress, float from, float to)
{
    const std::vector<UTriangle<float>*>& faces = mesh.faces;
    const std::size_t n = faces.size();
    std::vector<float> values(n, max);
    if (n == 0) return values;

    const Analysis::ThicknessRays rays(samples);
    const Analysis::OwnedFaceTree faceTree = Analysis::makeFaceTree(&mesh, 0, nullptr, false, std::max(1, threads));

    // A first report before any ray: a small part can be done before the first interval has passed, and
    // the caller must still get its chance to cancel.
    if (progress && !progress(from)) throw Cancelled();

    PassState state;
    auto work = [&] {
        try {
            std::vector<float> origins(3 * rays.perFace());
            while (!state.stop.load(std::memory_order_relaxed)) {
                const std::size_t begin = state.next.fetch_add(chunkFaces);
                if (begin >= n) break;
                const std::size_t end = std::min(n, begin + chunkFaces);
                for (std::size_t f = begin; f < end; ++f)
                    rays.lowerFaceThickness(*faceTree, *faces[f], nullptr, values[f], origins.data());
                state.finished.fetch_add(end - begin, std::memory_order_relaxed);
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(state.mutex);
            if (!state.failure) state.failure = std::current_exception();
            state.stop = true;
        }
        const std::lock_guard<std::mutex> lock(state.mutex);
        --state.running;
        state.workersDone.notify_all();
    };

    // Whichever way this function is left (a thread that cannot start, a callback that throws), the
    // workers are stopped and joined before the tree and the values go away.
    std::vector<std::thread> workers;
    struct JoinWorkers {
        PassState& state;
        std::vector<std::thread>& workers;
        ~JoinWorkers()
        {
            state.stop = true;
            for (std::thread& worker : workers)
                if (worker.joinable()) worker.join();
        }
    } joinWorkers{state, workers};

    const auto workerCount = static_cast<std::size_t>(std::max(1, threads));
    workers.reserve(workerCount);
    for (std::size_t w = 0; w < workerCount; ++w) {
        {
            const std::lock_guard<std::mutex> lock(state.mutex);
            ++state.running;
        }
        try {
            workers.emplace_back(work);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(state.mutex);
            --state.running;
            throw;
        }
    }

    bool cancelled = false;
    {
        std::unique_lock<std::mutex> lock(state.mutex);
        while (state.running > 0) {
            state.workersDone.wait_for(lock, reportInterval);
            if (!progress || cancelled || state.running == 0) continue;
            const float done = static_cast<float>(state.finished.load()) / static_cast<float>(n);
            lock.unlock();
            const bool goOn = progress(from + (to - from) * done);
            lock.lock();
            if (!goOn) {
                cancelled = true;
                state.stop = true;
            }
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    if (state.failure) std::rethrow_exception(state.failure);
    if (cancelled) throw Cancelled();
    return values;
}

} // namespace meshprobe::detail
