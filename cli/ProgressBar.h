// SPDX-License-Identifier: MIT
// Progress bar on stderr, drawn only when stderr is a terminal, that also carries Ctrl-C into the toolkit.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "meshprobe/Progress.h"

namespace cli {

class ProgressBar {
public:
    /// @param visible  draw the bar; typically stderr is a terminal and --quiet was not given
    /// @param stream   where to draw (stderr)
    explicit ProgressBar(bool visible, std::FILE* stream = stderr);
    ~ProgressBar();

    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    /// True when stderr is a terminal and the user did not ask for quiet.
    static bool shouldShow(bool quiet);

    /// A progress callback for one stage of the command: the stage's percentage p (clamped to 0..100)
    /// fills [from, to] of the bar under the given label. Whether the bar is visible or not, the callback
    /// answers false once Ctrl-C was pressed: that is how the toolkit is cancelled.
    /// The bar must outlive the callback.
    meshprobe::ProgressCallback stage(std::string label, int from, int to);

    /// Like stage, for a call whose percentage runs through named phases: each phase is shown until the
    /// percentage reaches its end (the pairs hold the phase's end and its label, ascending).
    meshprobe::ProgressCallback phases(std::vector<std::pair<float, std::string>> ends, int from, int to);

    /// Erases the bar so that later output starts on a clean line.
    void clear();

private:
    void update(const std::string& label, int percent);

    bool visible;
    std::FILE* stream;
    bool drawn = false;
    int shownPercent = -1;
    std::string shownLabel;
};

} // namespace cli
