// SPDX-License-Identifier: MIT
// Progress and cancellation for a parallel phase: only the thread that started the phase calls the
// callback; a throwing callback raises a stop flag that every thread checks before each work item,
// and the phase throws Kel::AbortException after its loops.
#pragma once

#include <atomic>
#include <thread>

#include "common/Progress.h"

namespace meshprobe {
namespace common {

class ParallelProgress {
public:
    /// Starts a phase on the calling thread, which becomes the owner.
    /// @param threadCount  the thread count the host passed; scales the reports only
    /// @param total        the phase's measure of its work; a measure of 0 or less reports 0 throughout
    ParallelProgress(const ProgressCallback& callback, int threadCount, int total);
    /// The phase keeps the callback by reference: a temporary would be gone before the first report.
    ParallelProgress(ProgressCallback&&, int, int) = delete;

    ParallelProgress(const ParallelProgress&) = delete;
    ParallelProgress& operator=(const ParallelProgress&) = delete;

    /// Run by every thread at the start of every loop iteration. On the owner thread it reports
    /// (int)(counter * scale) and counts the report; any exception from the callback is absorbed and
    /// raises the stop flag. Returns whether the iteration's work item may run.
    bool step()
    {
        if (hasCallback && std::this_thread::get_id() == owner) report();
        return !stopFlag.load();
    }

    /// After the phase's loops: throws Kel::AbortException when the phase was stopped.
    void finish() const;

    bool stopped() const { return stopFlag.load(); }

private:
    void report();

    const ProgressCallback& progress;
    const bool hasCallback;
    const std::thread::id owner;
    std::atomic<int> counter{0};
    float scale;
    std::atomic<bool> stopFlag{false};
};

} // namespace common
} // namespace meshprobe
