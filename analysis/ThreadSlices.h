// SPDX-License-Identifier: MIT
// Runs a loop over [0, count) in contiguous slices on a few threads, the calling thread taking the first.
#pragma once

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

namespace Analysis {

/// Calls body(begin, end) for `threads` contiguous slices of [0, count) (one slice below minPerThread
/// items per thread), each on its own thread and the first on the caller's. For loops whose iterations
/// write disjoint data, so that the split cannot change what they write.
template <typename Body> void forThreadSlices(int count, int threads, int minPerThread, const Body& body)
{
    const int parts = count < 2 * minPerThread ? 1 : std::max(1, std::min(threads, count / minPerThread));
    if (parts == 1) {
        body(0, count);
        return;
    }
    auto bound = [&](int part) { return static_cast<int>(std::int64_t(count) * part / parts); };
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(parts - 1));
    try {
        for (int part = 1; part < parts; ++part)
            helpers.emplace_back([&body, from = bound(part), to = bound(part + 1)] { body(from, to); });
        body(bound(0), bound(1));
    } catch (...) {
        for (std::thread& helper : helpers)
            helper.join();
        throw;
    }
    for (std::thread& helper : helpers)
        helper.join();
}

} // namespace Analysis
