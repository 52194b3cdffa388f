// SPDX-License-Identifier: MIT
// Running a long toolkit call without the GIL, with progress reported to an optional Python callable and
// Ctrl-C turned into cancellation.
#pragma once

#include <chrono>
#include <optional>
#include <utility>

#include <pybind11/pybind11.h>

#include "meshprobe/Error.h"
#include "meshprobe/Progress.h"

namespace meshprobe::python {

/// The toolkit callback of one long call. The first report, then one every 50 ms, and 100 % re-acquire the
/// GIL, run pending signal handlers (so Ctrl-C raises KeyboardInterrupt in the main thread) and call the
/// user's callable with the percentage. The analyses report thousands of times per call; taking the GIL
/// for each would make the call wait for other Python threads each time. A raised exception or a False
/// answer cancels the call; the exception is kept and raised again once the call has unwound. Create and
/// destroy it with the GIL held.
class PythonProgress {
public:
    /// `callable`: None, or called as callable(percent: float); False cancels, anything else goes on.
    explicit PythonProgress(pybind11::object callable);

    /// The callback for the toolkit's options; valid while this object lives.
    ProgressCallback callback();

    /// With the GIL held: raises the exception a report caught, if any.
    void raisePending();

private:
    bool report(float percent);

    pybind11::object callable;
    std::optional<pybind11::error_already_set> pending;
    std::chrono::steady_clock::time_point lastReport; // the epoch: the first report goes through
    bool finished = false;                            // 100 % was reported: the callable hears of it once
};

/// Calls `body` with the GIL released. When it is cancelled because a report raised (KeyboardInterrupt
/// from Ctrl-C, or an exception of the callable), that exception is raised instead of Cancelled.
template <typename Body> auto withoutGil(PythonProgress& progress, Body&& body) -> decltype(body())
{
    try {
        pybind11::gil_scoped_release release;
        return body();
    } catch (const Cancelled&) {
        progress.raisePending();
        throw;
    }
}

} // namespace meshprobe::python
