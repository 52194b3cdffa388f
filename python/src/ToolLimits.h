// SPDX-License-Identifier: MIT
// The tool's limits on the arguments the module shares with it: a value the tool refuses on its command
// line is refused here too, so a script and a shell command accept the same parts and options.
#pragma once

#include <optional>
#include <sstream>
#include <string>

#include <pybind11/pybind11.h>

#include "meshprobe/Error.h"

namespace meshprobe::python {

/// The largest thickness window end and drain-hole diameter, mm; the largest cavity volume, mm³; the
/// largest thin-area floor, mm²; the most worker threads. The tool's options stop at the same values.
constexpr double largestLength = 1e6;
constexpr double largestVolume = 1e18;
constexpr double largestArea = 1e12;
constexpr int mostThreads = 4096;

/// Raises InputError (a ValueError) for a value above `highest`; the toolkit itself refuses values below the range, NaN
/// and infinities, in its own words.
inline void requireAtMost(const char* name, double value, double highest, const char* unit)
{
    if (!(value > highest)) return;
    std::ostringstream message;
    message << name << " " << value << " is above the largest value the tool takes, " << highest << " " << unit;
    throw InputError(message.str());
}

/// The thread count of a call: None for one per core, else 1..mostThreads.
inline int threadCount(const std::optional<int>& threads)
{
    if (threads && (*threads < 1 || *threads > mostThreads))
        throw InputError("threads must be at least 1 and at most " + std::to_string(mostThreads) +
                         " (or None for all cores)");
    return threads.value_or(0);
}

} // namespace meshprobe::python
