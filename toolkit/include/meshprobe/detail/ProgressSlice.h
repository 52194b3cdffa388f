// SPDX-License-Identifier: MIT
// The one way a step of a longer call reports its share of the caller's progress.
#pragma once

#include "meshprobe/Progress.h"

namespace meshprobe::detail {

/// A slice [from, to] of a caller's 0..100 progress. Copyable: it holds the callback by value, so it can
/// be handed to a phase that outlives the scope it was made in.
struct ProgressSlice {
    ProgressCallback callback;
    float from = 0.0f;
    float to = 100.0f;

    /// The part [a, b] (each 0..1) of this slice.
    ProgressSlice part(float a, float b) const { return {callback, from + (to - from) * a, from + (to - from) * b}; }
    /// Reports the fraction `done` (0..1) of this slice; false when the caller asked to stop.
    bool report(float done) const { return !callback || callback(from + (to - from) * done); }
    /// The slice as a callback of its own 0..100, for a call that takes one; empty when nobody listens.
    ProgressCallback asCallback() const
    {
        if (!callback) return {};
        return [slice = *this](float percent) { return slice.report(percent / 100.0f); };
    }
};

} // namespace meshprobe::detail
