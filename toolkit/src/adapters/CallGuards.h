// SPDX-License-Identifier: MIT
// What every toolkit call wraps around the host library: progress turned into its cancellation, and its
// exceptions turned into the toolkit's.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "meshprobe/Progress.h"
#include "meshprobe/detail/ProgressSlice.h"
#include "toolkit/src/runtime/ReportOrCancel.h"

namespace meshprobe::detail {

/// The host library's progress callback for a slice of the caller's 0..100: the library's percentage p is
/// reported as the fraction p / 100 of the slice, and a false answer throws
/// Kel::AbortException, the library's cancellation signal. Empty when nobody listens.
std::function<void(int)> hostProgress(const ProgressSlice& progress);

/// Runs `body` and turns what the host library throws into toolkit exceptions: Kel::AbortException into
/// Cancelled, other Kel::Exception, const char*, standard exceptions and anything else into Error prefixed
/// with `what` ("what: message"). Toolkit exceptions and std::bad_alloc pass through.
template <typename Body> auto translateHostErrors(const std::string& what, Body&& body) -> decltype(body());

[[noreturn]] void rethrowHostError(const std::string& what, std::exception_ptr error);

template <typename Body> auto translateHostErrors(const std::string& what, Body&& body) -> decltype(body())
{
    try {
        return body();
    } catch (...) {
        rethrowHostError(what, std::current_exception());
    }
}

} // namespace meshprobe::detail
