// SPDX-License-Identifier: MIT
// Options of the commands that find cavities.
#include "cli/CavityOptions.h"

#include "cli/NumberRange.h"

#include <cstdlib>

#include "meshprobe/Threads.h"

#include "cli/CliError.h"
#include "cli/TextReport.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

std::string printerTable()
{
    std::string text = "Printers (--printer): which model direction points up, away from the build platform:\n";
    for (const meshprobe::PrinterPreset& p : meshprobe::printerPresets())
        text += "  " + p.name + std::string(17 - p.name.size(), ' ') + p.explanation + "\n";
    return text;
}

} // namespace

void addCavityOptions(CLI::App& command, CavityCliOptions& options)
{
    options.threads = meshprobe::defaultThreadCount();
    command.footer(printerTable());
    command.add_option("-r,--resolution", options.resolution, "Voxels along the longest side of the part")
        ->type_name("N")
        ->check(wholeNumberIn(1, 1290))
        ->capture_default_str();
    command.add_option("-j,--threads", options.threads, "Worker threads (default: all cores)")
        ->type_name("T")
        ->check(wholeNumberIn(1, 4096))
        ->capture_default_str();
    auto* up = command
                   .add_option("--up", options.up,
                               "Build direction: the model direction that points up while printing, an axis "
                               "(+z, -z, +x, -x, +y, -y) or x,y,z (\"0,0.2,1\")")
                   ->type_name("DIR")
                   ->capture_default_str();
    command.add_option("--printer", options.printer, "Set --up for a kind of printer (see below)")
        ->type_name("KIND")
        // An empty kind (an unset shell variable) would otherwise leave the default direction in silence.
        ->check([](const std::string& kind) { return kind.empty() ? "the printer kind is empty (see below)" : ""; })
        ->excludes(up);
    command.add_option("--min-cavity", options.minCavity, "Leave cavities below V mm³ out of the list and files")
        ->type_name("V")
        ->check(numberIn(0.0, 1e18, "mm³"))
        ->capture_default_str();
    command.add_option("--drain-holes", options.drainHoles, "Suggest a drain hole (and vents) of D mm per cavity")
        ->type_name("D")
        ->check(numberIn(0.0, 1e6, "mm"))
        // The toolkit reads 0 as "no holes"; given on the command line it is a hole that cannot be drilled.
        ->check(CLI::Validator(
            [](const std::string& given) {
                return std::strtod(given.c_str(), nullptr) > 0.0
                           ? std::string()
                           : "a drain hole of " + given +
                                 " mm cannot be drilled: give a diameter above 0 mm, "
                                 "at most the part's box diagonal";
            },
            "D > 0"));
}

meshprobe::CavityOptions cavityAnalysis(const CavityCliOptions& options)
{
    meshprobe::CavityOptions analysis;
    try {
        analysis.up = options.printer.empty() ? meshprobe::parseDirection(options.up)
                                              : meshprobe::printerPreset(options.printer).up;
    } catch (const InputError& e) {
        throw InputError((options.printer.empty() ? "--up: " : "--printer: ") + std::string(e.what()));
    }
    analysis.resolution = options.resolution;
    analysis.threads = options.threads;
    analysis.minVolume = options.minCavity;
    analysis.drainHoleDiameter = options.drainHoles;
    return analysis;
}

void addCavitiesJson(Json& into, const meshprobe::CavitiesResult& result, const CavityCliOptions& options,
                     CavityMeshes meshes)
{
    meshprobe::json::addCavitiesJson(into, result, options.minCavity, meshes, options.drainHoles > 0);
}

std::string tinyCavitiesText(std::size_t count, double volume, double minCavity)
{
    return "plus " + std::to_string(count) + (count == 1 ? " tiny cavity below " : " tiny cavities below ") +
           formatNumber(minCavity) + " mm³, " + formatNumber(volume) + " mm³ in all (not listed)";
}

} // namespace cli
