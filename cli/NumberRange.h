// SPDX-License-Identifier: MIT
// Numeric option checks whose messages show the value as given and the valid range in plain numbers.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace cli {

/// The largest window bound, mm: single precision keeps steps finer than 0.1 mm only below about 1e6, and
/// no printed part comes near a kilometre.
constexpr double largestLength = 1000000.0;

/// A number from `lowest` to `highest` (both allowed), with `unit` after the range in messages:
/// "'-1' is outside the valid range 0 to 1000000 mm".
CLI::Validator numberIn(double lowest, double highest, const std::string& unit = "");

/// A number above 0 and at most `highest`: "'0' is outside the valid range above 0 to 1000000000 s".
CLI::Validator positiveNumberUpTo(double highest, const std::string& unit);

/// A whole number from `lowest` to `highest`.
CLI::Validator wholeNumberIn(long long lowest, long long highest);

} // namespace cli
