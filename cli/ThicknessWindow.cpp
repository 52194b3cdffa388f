// SPDX-License-Identifier: MIT
// Checks of the thickness window, with messages that name the options as the user typed them.
#include "cli/ThicknessWindow.h"

#include <cmath>

#include "cli/CliError.h"
#include "cli/TextReport.h"

namespace cli {

void checkThicknessWindow(double min, double max, const std::string& minOption, const std::string& maxOption)
{
    if (!std::isfinite(min)) throw InputError(minOption + " must be a finite number");
    if (!std::isfinite(max)) throw InputError(maxOption + " must be a finite number");
    if (min > max)
        throw InputError(minOption + " " + formatNumber(min) + " is greater than " + maxOption + " " +
                         formatNumber(max));
}

} // namespace cli
