// SPDX-License-Identifier: MIT
// Progress callback and the wrapper that maps a sub-operation's 0..100 onto a slice of its caller's range.
#pragma once

#include <functional>

namespace meshprobe {
namespace common {

/// Receives a whole percentage, nominally 0..100 (not clamped). Throwing Kel::AbortException from it cancels
/// the running operation. An empty callback means that nobody listens.
using ProgressCallback = std::function<void(int)>;

/// Calls the caller's callback with (int)(p * factor + offset), formed in double and truncated toward zero.
/// Holds the caller's callback by reference: the caller's callback must outlive the wrapper.
class ProgressRescaler {
public:
    ProgressRescaler(const ProgressCallback& callerProgress, double scaleFactor, double scaleOffset)
        : target(callerProgress), factor(scaleFactor), offset(scaleOffset)
    {
    }
    /// A temporary callback would be gone before the wrapper is called: keep the caller's callback in a
    /// named object that outlives the wrapper.
    ProgressRescaler(ProgressCallback&&, double, double) = delete;

    void operator()(int p) const
    {
        if (target) target(static_cast<int>(p * factor + offset));
    }

    /// The wrapper as a callback of its own; empty when the target is empty, so that nested wrappers stay
    /// silent and uncancellable all the way down.
    ProgressCallback callback() const
    {
        if (!target) return {};
        return *this;
    }

private:
    const ProgressCallback& target;
    double factor;
    double offset;
};

} // namespace common
} // namespace meshprobe
