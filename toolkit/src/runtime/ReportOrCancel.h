// SPDX-License-Identifier: MIT
// One progress report that may cancel the work.
#pragma once

#include "meshprobe/Error.h"
#include "meshprobe/Progress.h"

namespace meshprobe::detail {

/// Reports `percent` and throws Cancelled when the callback answers false.
inline void reportOrCancel(const ProgressCallback& progress, float percent)
{
    if (progress && !progress(percent)) throw Cancelled();
}

} // namespace meshprobe::detail
