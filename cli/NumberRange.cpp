// SPDX-License-Identifier: MIT
// Numeric option checks with plain-number messages (CLI11's own print the limits of double in full).
#include "cli/NumberRange.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "cli/TextReport.h"

namespace cli {

namespace {

std::string outside(const std::string& given, const std::string& range)
{
    return "'" + given + "' is outside the valid range " + range;
}

} // namespace

CLI::Validator numberIn(double lowest, double highest, const std::string& unit)
{
    const std::string range =
        formatNumber(lowest, 10) + " to " + formatNumber(highest, 10) + (unit.empty() ? "" : " " + unit);
    return CLI::Validator(
        [=](const std::string& given) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(given.c_str(), &end);
            if (given.empty() || *end != '\0') return "'" + given + "' is not a number (valid range " + range + ")";
            if (!(value >= lowest && value <= highest)) return outside(given, range);
            return "";
        },
        "NUMBER in " + range);
}

CLI::Validator positiveNumberUpTo(double highest, const std::string& unit)
{
    const std::string range = "above 0 to " + formatNumber(highest, 10) + " " + unit;
    return CLI::Validator(
        [=](const std::string& given) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(given.c_str(), &end);
            if (given.empty() || *end != '\0') return "'" + given + "' is not a number (valid range " + range + ")";
            if (!(value > 0.0 && value <= highest)) return outside(given, range);
            return "";
        },
        "NUMBER in " + range);
}

CLI::Validator wholeNumberIn(long long lowest, long long highest)
{
    const std::string range = std::to_string(lowest) + " to " + std::to_string(highest);
    return CLI::Validator(
        [=](const std::string& given) -> std::string {
            char* end = nullptr;
            errno = 0;
            const long long value = std::strtoll(given.c_str(), &end, 10);
            if (given.empty() || *end != '\0')
                return "'" + given + "' is not a whole number (valid range " + range + ")";
            if (errno == ERANGE || value < lowest || value > highest) return outside(given, range);
            return "";
        },
        "INTEGER in " + range);
}

} // namespace cli
