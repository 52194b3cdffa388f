// SPDX-License-Identifier: MIT
#include "cli/BatchSummary.h"

#include <cstdio>

namespace cli {

void BatchSummary::recorded(const std::string& reason)
{
    if (reason.empty())
        ++succeeded;
    else
        ++failures[reason];
}

std::size_t BatchSummary::failed() const
{
    std::size_t total = 0;
    for (const auto& [reason, count] : failures)
        total += count;
    return total;
}

std::string BatchSummary::text(double seconds, bool interrupted) const
{
    const std::size_t failedParts = failed();
    std::string text = interrupted ? "interrupted: " : "";
    text += std::to_string(succeeded + failedParts) + (succeeded + failedParts == 1 ? " part" : " parts") + " done, " +
            std::to_string(failedParts) + " failed";
    if (failedParts > 0) {
        std::string byReason;
        for (const auto& [reason, count] : failures)
            byReason += (byReason.empty() ? "" : ", ") + std::to_string(count) + " " + reason;
        text += " (" + byReason + ")";
    }
    if (skippedParts > 0) text += ", " + std::to_string(skippedParts) + " skipped (already in the output)";
    char time[32];
    std::snprintf(time, sizeof time, ", %.1f s", seconds);
    return text + time;
}

} // namespace cli
