// SPDX-License-Identifier: MIT
#include "common/ParallelProgress.h"

#include "common/HostMesh.h"

namespace meshprobe {
namespace common {

ParallelProgress::ParallelProgress(const ProgressCallback& callback, int threadCount, int total)
    : progress(callback), hasCallback(static_cast<bool>(callback)), owner(std::this_thread::get_id()),
      // An empty measure would divide by zero; such a phase reports 0 throughout.
      scale(total > 0 ? static_cast<float>(threadCount * 100.0 / total) : 0.0f)
{
}

void ParallelProgress::report()
{
    const int value = static_cast<int>(static_cast<float>(counter.load()) * scale);
    try {
        progress(value);
        counter.fetch_add(1);
    } catch (...) {
        // Whatever the callback threw, it must not cross the parallel region: stop instead.
        stopFlag.exchange(true);
    }
}

void ParallelProgress::finish() const
{
    if (stopFlag.load()) throw Kel::AbortException();
}

} // namespace common
} // namespace meshprobe
