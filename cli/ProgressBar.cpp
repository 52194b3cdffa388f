// SPDX-License-Identifier: MIT
// Progress bar drawing and the stage callbacks handed to the library.
#include "cli/ProgressBar.h"

#include <algorithm>
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

std::function<void(int)> ProgressBar::stage(std::string label, int from, int to)
{
    return [this, label = std::move(label), from, to](int p) {
        throwIfInterrupted();
        if (!visible) return;
        // The library's percentages are not clamped (some operations run past 100).
        const int clamped = std::clamp(p, 0, 100);
        update(label, from + (to - from) * clamped / 100);
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
