// SPDX-License-Identifier: MIT
// The process profile options of `check` and `batch`.
#include "cli/ProcessProfile.h"

#include "cli/CliError.h"
#include "cli/NumberRange.h"
#include "cli/OutputFile.h"
#include "cli/TextReport.h"

namespace cli {

void addProfileOptions(CLI::App& command, ProfileCliOptions& options, bool withUp)
{
    auto* printer =
        command.add_option("--printer", options.printer, "Judge for a kind of printer (see below)")->type_name("KIND");
    auto* profile =
        command.add_option("--profile", options.profilePath, "Judge by a profile file (JSON, starts from a built-in)")
            ->type_name("FILE")
            ->check(nonEmptyPath());
    printer->excludes(profile);
    if (withUp)
        options.upOption = command
                               .add_option("--up", options.up,
                                           "Build direction instead of the profile's: an axis (+z, -z, ...) or x,y,z")
                               ->type_name("DIR");
    options.minWallOption = command.add_option("--min-wall", options.minWall, "Walls thinner than MM fail")
                                ->type_name("MM")
                                ->check(numberIn(1e-3, 100.0, "mm"));
    options.warnWallOption = command.add_option("--warn-wall", options.warnWall, "Walls thinner than MM warn")
                                 ->type_name("MM")
                                 ->check(numberIn(1e-3, 100.0, "mm"));
    options.drainOption = command.add_option("--drain", options.drain, "Drain holes of MM suggested and required")
                              ->type_name("MM")
                              ->check(numberIn(0.0, 100.0, "mm"));
}

bool hasProfile(const ProfileCliOptions& options)
{
    return !options.printer.empty() || !options.profilePath.empty();
}

meshprobe::Profile resolveProfile(const ProfileCliOptions& options)
{
    if (!hasProfile(options)) throw InputError("give the process: --printer KIND or --profile FILE");
    meshprobe::Profile profile;
    if (!options.printer.empty()) {
        try {
            profile = meshprobe::builtinProfile(options.printer);
        } catch (const InputError& e) {
            throw InputError(std::string("--printer: ") + e.what());
        }
    } else {
        profile = meshprobe::loadProfile(options.profilePath);
    }
    meshprobe::ProfileOverrides overrides;
    if (options.upOption && options.upOption->count()) {
        try {
            overrides.up = meshprobe::parseDirection(options.up);
        } catch (const InputError& e) {
            throw InputError(std::string("--up: ") + e.what());
        }
    }
    if (options.minWallOption->count()) overrides.minWall = options.minWall;
    if (options.warnWallOption->count()) overrides.recommendedWall = options.warnWall;
    if (options.drainOption->count()) overrides.drainDiameter = options.drain;
    try {
        return meshprobe::overridden(profile, overrides);
    } catch (const InputError& e) {
        throw InputError(std::string("--min-wall/--warn-wall: ") + e.what());
    }
}

std::string profileFooter()
{
    std::string text = "Printers (--printer; a --profile file starts from one with \"base\"):\n";
    for (const meshprobe::Profile& p : meshprobe::builtinProfiles())
        text += "  " + p.name + std::string(17 - p.name.size(), ' ') + "up " + meshprobe::formatDirection(p.up) +
                ", walls fail < " + formatFigure(p.minWall) + " mm, warn < " + formatFigure(p.recommendedWall) +
                " mm, drain " + formatFigure(p.drainDiameter) + " mm" +
                (p.suctionCups ? ", suction cups > " + formatFigure(p.suctionCupVolume) + " mm³ fail" : "") + "\n";
    return text;
}

} // namespace cli
