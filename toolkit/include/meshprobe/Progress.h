// SPDX-License-Identifier: MIT
// Progress reporting and cancellation of long toolkit calls.
#pragma once

#include <functional>

namespace meshprobe {

/// Receives the progress of a call as a percentage, 0 to 100, rising, always on the thread that made the
/// call. Return true to go on, false to cancel: the call then stops soon after and throws Cancelled.
/// An empty callback means that nobody listens and the call cannot be cancelled.
using ProgressCallback = std::function<bool(float percent)>;

} // namespace meshprobe
