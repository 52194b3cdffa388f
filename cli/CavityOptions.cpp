// SPDX-License-Identifier: MIT
// Options and JSON of the commands that find cavities.
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

std::string cavityName(const meshprobe::CavityReport& cavity)
{
    return cavity.name() + "-" + std::to_string(cavity.number);
}

std::vector<std::pair<const meshprobe::CavityReport*, const meshprobe::DrainHole*>>
suggestedHoles(const meshprobe::CavitiesResult& result)
{
    std::vector<std::pair<const meshprobe::CavityReport*, const meshprobe::DrainHole*>> holes;
    for (const meshprobe::CavityReport& cavity : result.cavities)
        for (const auto* hole : {&cavity.drain, &cavity.vent})
            if (*hole) holes.emplace_back(&cavity, &**hole);
    return holes;
}

Json pointJson(const std::array<double, 3>& p)
{
    // + 0.0 turns the rotations' -0 into 0: "-0.0" would read as a different value to a reader of the JSON.
    return {p[0] + 0.0, p[1] + 0.0, p[2] + 0.0};
}

Json holeJson(const meshprobe::DrainHole& hole)
{
    return {{"wall_point", pointJson(hole.wallPoint)},
            {"exit_point", pointJson(hole.exitPoint)},
            {"direction", pointJson(hole.direction)},
            {"length", hole.length},
            {"diameter", hole.diameter},
            {"reachable", hole.reachable}};
}

Json cavityJson(const meshprobe::CavityReport& c, CavityMeshes meshes, bool drainHoles)
{
    Json j = {{"number", c.number},
              {"name", c.name()},
              {"volume", shortestDouble(c.volume)},
              {"voxels", c.voxels},
              {"estimated_volume", c.estimatedVolume},
              {"bounds", {pointJson(c.boundsMin), pointJson(c.boundsMax)}},
              {"centroid", pointJson(c.centroid)},
              {"lowest_point", pointJson(c.lowestPoint)},
              {"highest_point", pointJson(c.highestPoint)},
              {"lowest_height", c.lowestHeight},
              {"highest_height", c.highestHeight}};
    if (meshes != CavityMeshes::None)
        j["triangles"] = (meshes == CavityMeshes::Columns ? c.columns : c.solid).triangleCount();
    if (drainHoles) {
        j["drain"] = c.drain ? holeJson(*c.drain) : nullptr;
        if (c.closed) j["vent"] = c.vent ? holeJson(*c.vent) : nullptr;
        if (c.largestHoleDiameter) j["largest_hole"] = *c.largestHoleDiameter;
    }
    return j;
}

void addCavitiesJson(Json& into, const meshprobe::CavitiesResult& result, const CavityCliOptions& options,
                     CavityMeshes meshes)
{
    into["resolution"] = options.resolution;
    into["voxel_size"] = result.voxelSize;
    into["up"] = meshprobe::formatDirection(result.up);
    into["up_vector"] = pointJson(result.up);
    into["trapped_voxels"] = result.trappedVoxels;
    into["trapped_volume"] = shortestDouble(result.trappedVolume);
    into["cavity_count"] = result.cavityCount;
    into["min_cavity"] = options.minCavity;
    into["tiny_cavities"] = {{"count", result.tinyCavities}, {"volume", result.tinyVolume}};
    into["cavities"] = Json::array();
    for (const meshprobe::CavityReport& cavity : result.cavities)
        into["cavities"].push_back(cavityJson(cavity, meshes, options.drainHoles > 0));
}

std::string tinyCavitiesText(std::size_t count, double volume, double minCavity)
{
    return "plus " + std::to_string(count) + (count == 1 ? " tiny cavity below " : " tiny cavities below ") +
           formatNumber(minCavity) + " mm³, " + formatNumber(volume) + " mm³ in all (not listed)";
}

} // namespace cli
