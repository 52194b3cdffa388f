// SPDX-License-Identifier: MIT
// The thickness window as given on the command line.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "meshprobe/ThinAreas.h"

namespace cli {

/// The window, the rays per face and the smallest thin area, as the thickness and report commands take them.
struct ThicknessWindowOptions {
    double min = 0.0;
    double max = 0.0;
    int samples = 31;
    double minThinArea = meshprobe::defaultMinThinArea;
};

/// What differs between the commands: whether the window must be given (otherwise --help shows its
/// defaults), and what --max and --min-thin-area mean there.
struct ThicknessWindowHelp {
    bool required = false;
    std::string max;
    std::string minThinArea;
};

void addThicknessWindowOptions(CLI::App& command, ThicknessWindowOptions& window, const ThicknessWindowHelp& help);

/// Checks a thickness window given on the command line; InputError naming the options otherwise.
void checkThicknessWindow(double min, double max, const std::string& minOption, const std::string& maxOption);

} // namespace cli
