// SPDX-License-Identifier: MIT
// The thickness window as given on the command line.
#pragma once

#include <string>

namespace cli {

/// Checks a thickness window given on the command line; InputError naming the options otherwise.
void checkThicknessWindow(double min, double max, const std::string& minOption, const std::string& maxOption);

} // namespace cli
