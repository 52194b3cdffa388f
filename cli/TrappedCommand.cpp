// SPDX-License-Identifier: MIT
// `meshprobe trapped`: air that cannot drain when the part is printed in a given build direction, where
// each cavity is, and where to drill.
#include <cmath>
#include <iostream>

#include "cli/CavityOptions.h"
#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/InputMesh.h"
#include "cli/Interrupt.h"
#include "cli/NumberRange.h"
#include "cli/JsonHead.h"
#include "cli/MeshWarnings.h"
#include "cli/OutputFile.h"
#include "cli/ProgressBar.h"
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "meshprobe/Cavities.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"

namespace cli {

namespace {

struct TrappedOptions : CommonOptions, CavityCliOptions {
    std::string cavitiesPath;
    std::string cavitiesAs = "solid";
    std::string drainHolesPath;
    MeshCheckOptions checks;
};

using Point = std::array<double, 3>;

std::string formatPoint(const Point& p)
{
    // Rounding noise of the rotations (1e-7 instead of 0) would read as a real coordinate.
    auto coordinate = [](double v) { return formatNumber(std::fabs(v) < 5e-5 ? 0.0 : v, 4); };
    return "(" + coordinate(p[0]) + ", " + coordinate(p[1]) + ", " + coordinate(p[2]) + ")";
}

const meshprobe::Mesh& writtenMesh(const meshprobe::CavityReport& cavity, const TrappedOptions& options)
{
    return options.cavitiesAs == "columns" ? cavity.columns : cavity.solid;
}

void writeCavities(const std::string& path, const meshprobe::CavitiesResult& result, const TrappedOptions& options)
{
    std::vector<meshprobe::NamedMesh> named;
    for (const meshprobe::CavityReport& cavity : result.cavities)
        named.push_back({cavityName(cavity), writtenMesh(cavity, options)});
    meshprobe::writeMeshes(path, named, {cancelOnInterrupt()});
}

void writeDrainHoles(const std::string& path, const meshprobe::CavitiesResult& result)
{
    std::vector<meshprobe::Mesh> cylinders;
    std::vector<std::string> names;
    for (const auto& [cavity, hole] : suggestedHoles(result)) {
        cylinders.push_back(meshprobe::drainHoleCylinders({*hole}));
        names.push_back(hole->kind + "-" + std::to_string(cavity->number));
    }
    std::vector<meshprobe::NamedMesh> named;
    for (std::size_t i = 0; i < cylinders.size(); ++i)
        named.push_back({names[i], cylinders[i]});
    meshprobe::writeMeshes(path, named, {cancelOnInterrupt()});
}

CavityMeshes writtenMeshes(const TrappedOptions& options)
{
    if (options.cavitiesPath.empty()) return CavityMeshes::None;
    return options.cavitiesAs == "columns" ? CavityMeshes::Columns : CavityMeshes::Solid;
}

void printText(const TrappedOptions& options, const meshprobe::Mesh& mesh, const meshprobe::CavitiesResult& result)
{
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.triangleCount()))
        .add("units", unitLine(options))
        .add("grid", std::to_string(options.resolution) + "³ voxels of " + formatNumber(result.voxelSize, 4) +
                         " mm, up " + meshprobe::formatDirection(result.up) + ", " + std::to_string(result.threads) +
                         (result.threads == 1 ? " thread" : " threads"))
        .add("trapped", std::to_string(result.trappedVoxels) + " voxels, " + formatVolume(result.trappedVolume))
        .add("cavities",
             std::to_string(result.cavityCount) +
                 (result.cavityCount ? "  (Closed: sealed; Open: opens upward or at the part's edge)" : ""));
    if (result.tinyCavities)
        summary.add("", tinyCavitiesText(result.tinyCavities, result.tinyVolume, options.minCavity));
    if (!options.cavitiesPath.empty())
        summary.add("cavity meshes", options.cavitiesPath + " (" + options.cavitiesAs + ")");
    if (!options.drainHolesPath.empty()) summary.add("drain holes", options.drainHolesPath);
    summary.print(std::cout);
    if (result.cavities.empty()) return;

    Table table({"#", "kind", "voxels", "volume mm³", "estimate mm³", "lowest point", "height", "centroid", "size mm"},
                {true, false, true, true, true, false, true, false, false});
    for (const meshprobe::CavityReport& c : result.cavities) {
        const Point size{c.boundsMax[0] - c.boundsMin[0], c.boundsMax[1] - c.boundsMin[1],
                         c.boundsMax[2] - c.boundsMin[2]};
        table.addRow({std::to_string(c.number), c.name(), std::to_string(c.voxels), formatNumber(c.volume),
                      "~" + formatNumber(c.estimatedVolume, 5), formatPoint(c.lowestPoint),
                      formatNumber(c.lowestHeight, 4), formatPoint(c.centroid),
                      formatNumber(size[0], 4) + " x " + formatNumber(size[1], 4) + " x " + formatNumber(size[2], 4)});
    }
    std::cout << '\n';
    table.print(std::cout);
    std::cout << "  (estimate: the voxel volume plus half a voxel behind each wall face; the voxels alone miss about "
                 "half a voxel all round)\n";
    // The top and the box in a table of their own: one table with every place would not fit a terminal.
    Table extent({"#", "highest point", "height", "box from", "box to"}, {true, false, true, false, false});
    for (const meshprobe::CavityReport& c : result.cavities)
        extent.addRow({std::to_string(c.number), formatPoint(c.highestPoint), formatNumber(c.highestHeight, 4),
                       formatPoint(c.boundsMin), formatPoint(c.boundsMax)});
    std::cout << '\n';
    extent.print(std::cout);
    if (options.drainHoles <= 0) return;

    Table holes({"#", "hole", "wall point", "exit point", "drill direction", "length mm", "drill from outside"},
                {true, false, false, false, false, true, false});
    for (const meshprobe::CavityReport& c : result.cavities) {
        if (!c.drain || (c.closed && !c.vent)) {
            const double largest = c.largestHoleDiameter.value_or(0.0);
            holes.addRow({std::to_string(c.number), c.drain ? "vent" : "drain",
                          largest > 0 ? "no " + formatNumber(options.drainHoles) + " mm hole fits; largest " +
                                            formatNumber(largest, 3) + " mm"
                                      : "no straight path out",
                          "", "", "", ""});
        }
        for (const auto* hole : {&c.drain, &c.vent})
            if (*hole)
                holes.addRow({std::to_string(c.number), (*hole)->kind, formatPoint((*hole)->wallPoint),
                              formatPoint((*hole)->exitPoint), meshprobe::formatDirection((*hole)->direction),
                              formatNumber((*hole)->length, 4),
                              (*hole)->reachable ? "yes" : "no: the part is in the way"});
    }
    std::cout << "\nholes of " << formatNumber(options.drainHoles) << " mm, drilled from the exit point inward\n";
    holes.print(std::cout);
}

int runTrapped(TrappedOptions& options)
{
    const Stopwatch clock;
    if (!options.cavitiesPath.empty()) checkOutputOption(options.cavitiesPath, "--cavities", false, options);
    if (!options.drainHolesPath.empty()) {
        if (options.drainHoles <= 0) throw InputError("--drain-holes-file needs --drain-holes D (the hole diameter)");
        checkOutputOption(options.drainHolesPath, "--drain-holes-file", false, options);
    }
    meshprobe::CavityOptions analysis = cavityAnalysis(options);
    meshprobe::Mesh mesh = loadInputMesh(options);
    BesideAnalysis checks(mesh, options.checks, options.threads);

    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    analysis.solids = !options.cavitiesPath.empty() && options.cavitiesAs == "solid";
    analysis.columns = !options.cavitiesPath.empty() && options.cavitiesAs == "columns";
    analysis.progress = progress.phases({{90.0f, "voxelizing"}, {100.0f, "locating cavities"}}, 0, 100);
    const meshprobe::CavitiesResult result = meshprobe::findCavities(mesh, analysis);
    progress.clear();
    const CheckedMesh checked = checks.result();
    if (!options.cavitiesPath.empty()) {
        progress.stage("writing " + options.cavitiesPath, 100, 100)(100);
        writeCavities(options.cavitiesPath, result, options);
    }
    if (!options.drainHolesPath.empty()) writeDrainHoles(options.drainHolesPath, result);
    progress.clear();

    if (options.json) {
        nlohmann::ordered_json report = jsonHead("trapped", options, mesh);
        addWarningsJson(report, checked, options.checks);
        addCavitiesJson(report, result, options, writtenMeshes(options));
        nlohmann::ordered_json files = nlohmann::ordered_json::object();
        if (!options.cavitiesPath.empty()) files["cavities"] = options.cavitiesPath;
        if (!options.drainHolesPath.empty()) files["drain_holes"] = options.drainHolesPath;
        if (!files.empty()) report["files"] = std::move(files);
        report["seconds"] = clock.seconds();
        printJson(report);
    } else {
        printText(options, mesh, result);
    }
    return exitCodeFor(checked, options.checks);
}

} // namespace

Command addTrappedCommand(CLI::App& app)
{
    auto options = std::make_shared<TrappedOptions>();
    CLI::App* command =
        app.add_subcommand("trapped", "Air trapped inside the part when printed in the build direction");
    addCommonOptions(*command, *options);
    addCavityOptions(*command, *options);
    command
        ->add_option("--cavities", options->cavitiesPath,
                     "Write every listed cavity as a mesh to OUT (.stl, .ply, .obj, .3mf or .glb)")
        ->type_name("OUT")
        ->check(nonEmptyPath());
    command
        ->add_option("--cavities-as", options->cavitiesAs,
                     "solid: each cavity a closed surface of its voxels; columns: the analysis' upright triangles")
        ->type_name("KIND")
        ->check(CLI::IsMember({"solid", "columns"}))
        ->capture_default_str();
    command->add_option("--drain-holes-file", options->drainHolesPath, "Write the suggested holes as cylinders to OUT")
        ->type_name("OUT")
        ->check(nonEmptyPath());
    addMeshCheckOptions(*command, options->checks);
    addForceOption(*command, *options);
    return {command, [options] { return runTrapped(*options); }};
}

} // namespace cli
