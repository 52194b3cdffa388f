// SPDX-License-Identifier: MIT
// The closing line of `meshprobe batch`: what was done, what failed and why, what a resume skipped.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace cli {

class BatchSummary {
public:
    /// A part's record was written; `reason` is its failure reason ("" for a part that succeeded).
    void recorded(const std::string& reason);
    void skipped(std::size_t parts) { skippedParts += parts; }

    std::size_t failed() const;

    /// "12 parts done, 2 failed (1 timeout, 1 error), 30 skipped (already in the output), 4.2 s", with
    /// "interrupted: " in front when the batch did not finish.
    std::string text(double seconds, bool interrupted) const;

private:
    std::size_t succeeded = 0;
    std::map<std::string, std::size_t> failures; // by reason, in name order
    std::size_t skippedParts = 0;
};

} // namespace cli
