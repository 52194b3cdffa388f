// SPDX-License-Identifier: MIT
// Diverts standard output for a while: the host library prints some failures there, and the toolkit turns
// them into exception messages instead of letting them reach the caller's console.
#pragma once

#include <cstdio>
#include <string>

namespace meshprobe::detail {

/// While alive, whatever is written to standard output (file descriptor 1, through stdio or iostreams)
/// goes to a temporary file instead; take() ends the capture and returns it.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();

    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    /// Restores standard output and returns what was written meanwhile.
    std::string take();

private:
    void restore();

    std::FILE* sink = nullptr;
    int savedDescriptor = -1;
};

} // namespace meshprobe::detail
