// SPDX-License-Identifier: MIT
// A job run in a forked child process under time and memory limits, its text answer sent back by pipe.
#pragma once

#include <functional>
#include <string>

#include "meshprobe/Batch.h"
#include "meshprobe/Progress.h"

namespace meshprobe::detail {

struct IsolatedOutcome {
    enum class Kind {
        Done,    ///< the job returned; `text` is its answer
        Timeout, ///< killed at limits.seconds
        Memory,  ///< the job threw bad_alloc (the limit, or the machine's memory)
        Crash,   ///< the child died otherwise; `text` says how (the signal's name, an exit status)
    };
    Kind kind = Kind::Crash;
    std::string text;
};

/// Runs `job` in a forked child with `limits` (address space added to what the process has mapped; time
/// from the fork) and returns how it ended.
/// The child ignores SIGINT and SIGTERM, dumps no core and is killed when the calling thread ends.
/// `cancel` is polled every 50 ms; false kills the child and throws Cancelled.
/// @throw Error when no child can be started
IsolatedOutcome runIsolated(const std::function<std::string()>& job, const PartLimits& limits,
                            const ProgressCallback& cancel);

} // namespace meshprobe::detail
