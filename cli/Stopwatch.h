// SPDX-License-Identifier: MIT
// Wall-clock time of a whole command, for the "seconds" key.
#pragma once

#include <chrono>

namespace cli {

class Stopwatch {
public:
    /// Seconds since construction, rounded to milliseconds.
    double seconds() const;

private:
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

} // namespace cli
