// SPDX-License-Identifier: MIT
// Checks of the thickness window, with messages that name the options as the user typed them.
#include "cli/ThicknessWindow.h"

#include <cmath>

#include "cli/CliError.h"
#include "cli/NumberRange.h"
#include "cli/TextReport.h"

namespace cli {

void addThicknessWindowOptions(CLI::App& command, ThicknessWindowOptions& window, const ThicknessWindowHelp& help)
{
    CLI::Option* min =
        command
            .add_option(
                "--min", window.min,
                "Lower end of the thickness window, mm: where the colours start (thinner walls are still thin areas)")
            ->type_name("A")
            ->check(numberIn(0.0, largestLength, "mm"));
    CLI::Option* max =
        command.add_option("--max", window.max, help.max)->type_name("B")->check(numberIn(0.0, largestLength, "mm"));
    for (CLI::Option* bound : {min, max})
        if (help.required)
            bound->required();
        else
            bound->capture_default_str();
    command.add_option("--samples", window.samples, "Rays per face: 1..31 spread over the face, 32+ one ray")
        ->type_name("S")
        ->check(wholeNumberIn(0, 2147483647))
        ->capture_default_str();
    command.add_option("--min-thin-area", window.minThinArea, help.minThinArea)
        ->type_name("A")
        ->check(numberIn(0.0, largestLength * largestLength, "mm²"))
        ->capture_default_str();
}

void checkThicknessWindow(double min, double max, const std::string& minOption, const std::string& maxOption)
{
    if (!std::isfinite(min)) throw InputError(minOption + " must be a finite number");
    if (!std::isfinite(max)) throw InputError(maxOption + " must be a finite number");
    if (min > max)
        throw InputError(minOption + " " + formatNumber(min) + " is greater than " + maxOption + " " +
                         formatNumber(max));
}

} // namespace cli
