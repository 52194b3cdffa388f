// SPDX-License-Identifier: MIT
// Standard-output capture by swapping file descriptor 1 with a temporary file.
#include "toolkit/src/StdoutCapture.h"

#include <iostream>
#include <unistd.h>

namespace meshprobe::detail {

StdoutCapture::StdoutCapture()
{
    // Flush first, so that output written before the capture is not caught by it.
    std::cout.flush();
    std::fflush(stdout);
    sink = std::tmpfile();
    savedDescriptor = dup(STDOUT_FILENO);
    if (sink && savedDescriptor >= 0) dup2(fileno(sink), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture()
{
    restore();
    if (sink) std::fclose(sink);
}

void StdoutCapture::restore()
{
    if (savedDescriptor < 0) return;
    std::cout.flush();
    std::fflush(stdout);
    dup2(savedDescriptor, STDOUT_FILENO);
    close(savedDescriptor);
    savedDescriptor = -1;
}

std::string StdoutCapture::take()
{
    restore();
    std::string text;
    if (!sink) return text;
    std::rewind(sink);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, sink)) > 0)
        text.append(buffer, n);
    return text;
}

} // namespace meshprobe::detail
