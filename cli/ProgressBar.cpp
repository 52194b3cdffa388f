// SPDX-License-Identifier: MIT
// Progress bar drawing and the stage callbacks handed to the toolkit.
#include "cli/ProgressBar.h"

#include <algorithm>
#include <memory>
#include <unistd.h>

#include "cli/Interrupt.h"

namespace cli {

namespace {
constexpr int barWidth = 30;
}

ProgressBar::ProgressBar(bool isVisible, std::FILE* output) : visible(isVisible), stream(output) {}

ProgressBar::~ProgressBar()
{
    clear();
}

bool ProgressBar::shouldShow(bool quiet)
{
    return !quiet && isatty(fileno(stderr)) != 0;
}

meshprobe::ProgressCallback ProgressBar::stage(std::string label, int from, int to)
{
    return phases({{100.0f, std::move(label)}}, from, to);
}

meshprobe::ProgressCallback ProgressBar::phases(std::vector<std::pair<float, std::string>> ends, int from, int to)
{
    // The furthest point reached in this stage: some analyses report per work item out of order, and the
    // bar must never move back within a stage.
    auto reached = std::make_shared<float>(0.0f);
    return [this, ends = std::move(ends), from, to, reached](float reported) {
        if (interruptRequested()) return false;
        if (!visible) return true;
        const float p = *reached = std::max(*reached, reported);
        const int clamped = static_cast<int>(std::clamp(p, 0.0f, 100.0f));
        size_t phase = 0;
        while (phase + 1 < ends.size() && p >= ends[phase].first)
            ++phase;
        update(ends[phase].second, from + (to - from) * clamped / 100);
        return true;
    };
}

void ProgressBar::update(const std::string& label, int percent)
{
    // The voxelizer calls back once per work item: redraw only when what is shown changes.
    if (percent == shownPercent && label == shownLabel) return;
    shownPercent = percent;
    shownLabel = label;
    const int filled = barWidth * percent / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(barWidth - filled), '.');
    // \r returns to the line start, \033[K erases what a longer label left behind.
    std::fprintf(stream, "\r[%s] %3d%%  %s\033[K", bar.c_str(), percent, label.c_str());
    std::fflush(stream);
    drawn = true;
}

void ProgressBar::clear()
{
    if (!drawn) return;
    std::fprintf(stream, "\r\033[K");
    std::fflush(stream);
    drawn = false;
    shownPercent = -1;
    shownLabel.clear();
}

} // namespace cli
