// SPDX-License-Identifier: MIT
// The batch's closing line: counts by reason, skipped parts, interrupted runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/BatchSummary.h"

namespace {

TEST(BatchSummary, CountsPartsByOutcome)
{
    struct Case {
        std::vector<std::string> reasons; // "" for a part that succeeded
        std::size_t skipped;
        bool interrupted;
        std::string text;
    };
    const Case cases[] = {
        {{}, 0, false, "0 parts done, 0 failed, 1.5 s"},
        {{""}, 0, false, "1 part done, 0 failed, 1.5 s"},
        {{"", ""}, 1, false, "2 parts done, 0 failed, 1 skipped (already in the output), 1.5 s"},
        {{"", "timeout", "", "error", "timeout"}, 0, false, "5 parts done, 3 failed (1 error, 2 timeout), 1.5 s"},
        {{"memory"},
         12,
         true,
         "interrupted: 1 part done, 1 failed (1 memory), 12 skipped (already in the output), 1.5 s"},
    };
    for (const Case& c : cases) {
        cli::BatchSummary summary;
        for (const std::string& reason : c.reasons)
            summary.recorded(reason);
        summary.skipped(c.skipped);
        EXPECT_EQ(summary.text(1.5, c.interrupted), c.text);
        std::size_t failures = 0;
        for (const std::string& reason : c.reasons)
            failures += !reason.empty();
        EXPECT_EQ(summary.failed(), failures);
    }
}

} // namespace
