// SPDX-License-Identifier: MIT
// Wall-clock time of a command.
#include "cli/Stopwatch.h"

#include <cmath>

namespace cli {

double Stopwatch::seconds() const
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return std::round(elapsed.count() * 1000.0) / 1000.0; // milliseconds are all a user can use
}

} // namespace cli
