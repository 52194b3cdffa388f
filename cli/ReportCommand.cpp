// SPDX-License-Identifier: MIT
// `meshprobe report`: every analysis run once on one import, written as a self-contained HTML page.
#include <iostream>
#include <optional>

#include "cli/CavityOptions.h"
#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/InputMesh.h"
#include "cli/Interrupt.h"
#include "cli/MeshWarnings.h"
#include "cli/NumberRange.h"
#include "cli/ProgressBar.h"
#include "cli/ReportContent.h"
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "cli/ThicknessWindow.h"
#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "meshprobe/Check.h"
#include "meshprobe/Import.h"
#include "meshprobe/Profile.h"
#include "batch/src/ResultJson.h"
#include "meshprobe/ThinAreas.h"

namespace cli {

namespace {

struct ReportOptions : CommonOptions, ThicknessWindowOptions {
    ReportOptions() { max = 2.0; }
    std::string outputPath;
    CavityCliOptions cavities;
    MeshCheckOptions checks;
    bool noThickness = false;
    bool noTrapped = false;
    int directions = 6;
    bool noOrientation = false;
    /// --profile FILE; with it or --printer the page opens with the check's verdict.
    std::string profilePath;
    CLI::Option* upOption = nullptr;
};

/// The process the page judges the part for: --printer's built-in profile or --profile's file (whose build
/// direction the analyses then use, unless --up names another); none without either.
std::optional<meshprobe::Profile> reportProfile(ReportOptions& options)
{
    if (!options.cavities.printer.empty()) return meshprobe::builtinProfile(options.cavities.printer);
    if (options.profilePath.empty()) return std::nullopt;
    meshprobe::Profile profile = meshprobe::loadProfile(options.profilePath);
    if (options.upOption->count())
        profile.up = cavityAnalysis(options.cavities).up;
    else
        options.cavities.up = meshprobe::formatDirection(profile.up);
    return profile;
}

void checkReportPath(const std::string& path)
{
    const std::string extension = meshprobe::lowerCaseExtension(path);
    if (extension != ".html" && extension != ".htm")
        throw meshprobe::InputError("-o: '" + path + "' must end in .html");
    try {
        meshprobe::checkWritable(path);
    } catch (const meshprobe::InputError& e) {
        throw meshprobe::InputError(std::string("-o: ") + e.what());
    }
}

void printSummary(const ReportOptions& options, const nlohmann::ordered_json& summary)
{
    Summary lines;
    lines.add("mesh", options.meshPath)
        .add("triangles", std::to_string(summary["triangles"].get<std::size_t>()))
        .add("units", unitLine(options));
    if (summary.contains("thickness")) {
        const auto& thickness = summary["thickness"];
        std::string areas = std::to_string(summary["thin_areas"].size()) + " of at least " +
                            formatFigure(options.minThinArea) + " mm² (" +
                            std::to_string(thickness["thin_faces"].get<std::size_t>()) + " faces thinner than " +
                            formatFigure(options.max) + " mm";
        const auto dropped = thickness["dropped_areas"].get<std::size_t>();
        if (dropped > 0) areas += "; " + std::to_string(dropped) + " tiny areas dropped";
        const auto creases = thickness["crease_faces"].get<std::size_t>();
        if (creases > 0) areas += "; " + std::to_string(creases) + " faces of crease readings dropped";
        lines.add("thin areas", areas + ")");
        const auto& thinnest = thickness["thinnest"];
        lines.add("thinnest", !thinnest["found"].get<bool>()
                                  ? "none thinner than " + formatFigure(options.max) + " mm"
                                  : formatFigure(thinnest["thickness"].get<double>()) + " mm (area " +
                                        std::to_string(thinnest["area"].get<int>()) + ")");
    }
    if (summary.contains("trapped")) {
        const auto& trapped = summary["trapped"];
        const std::size_t cavities = trapped["cavities"].size();
        lines.add("trapped", formatVolume(trapped["trapped_volume"].get<double>()) + " in " + std::to_string(cavities) +
                                 (cavities == 1 ? " cavity, up " : " cavities, up ") +
                                 trapped["up"].get<std::string>());
        const auto& tiny = trapped["tiny_cavities"];
        if (tiny["count"].get<std::size_t>() > 0)
            lines.add("", tinyCavitiesText(tiny["count"].get<std::size_t>(), tiny["volume"].get<double>(),
                                           options.cavities.minCavity));
    }
    if (summary.contains("orientation")) {
        const auto& orientation = summary["orientation"];
        const std::string why = orientation["why_best"].get<std::string>();
        lines.add("best up", "--up " + orientation["best_up"].get<std::string>() + " of " +
                                 std::to_string(orientation["directions"].size()) + " directions" +
                                 (why.empty() ? std::string() : " (" + why + ")"));
    }
    const std::size_t warnings = summary["warnings"].size();
    lines.add("mesh checks", warnings == 0 ? "no problems found"
                                           : std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") +
                                                 " (above, and in the report)");
    if (summary.contains("check")) {
        const auto& counts = summary["check"]["counts"];
        lines.add("verdict", summary["check"]["verdict"].get<std::string>() + " for " +
                                 summary["check"]["profile"]["name"].get<std::string>() + " (" +
                                 std::to_string(counts["fail"].get<std::size_t>()) + " failing, " +
                                 std::to_string(counts["warn"].get<std::size_t>()) +
                                 " warning; `meshprobe check` "
                                 "lists them)");
    }
    lines.add("report", options.outputPath);
    lines.print(std::cout);
}

int runReport(ReportOptions& options)
{
    const Stopwatch clock;
    checkReportPath(options.outputPath);
    if (!options.noThickness) checkThicknessWindow(options.min, options.max, "--min", "--max");
    if (options.noTrapped && options.cavities.drainHoles > 0)
        throw InputError("--drain-holes: needs the trapped volumes that --no-trapped leaves out");
    cavityAnalysis(options.cavities); // a bad --up or --printer fails before the import
    const std::optional<meshprobe::Profile> profile = reportProfile(options);
    meshprobe::Mesh mesh = loadInputMesh(options);
    const CheckedMesh checked = checkMesh(mesh, options.checks);

    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    ReportSettings settings;
    settings.thickness = !options.noThickness;
    settings.min = static_cast<float>(options.min);
    settings.max = static_cast<float>(options.max);
    settings.samples = options.samples;
    settings.minThinArea = options.minThinArea;
    settings.trapped = !options.noTrapped;
    settings.cavities = options.cavities;
    settings.checks = options.checks;
    settings.orientation.directions = options.noOrientation ? 0 : options.directions;
    settings.orientation.profile = profile;
    settings.orientation.upChosen = options.upOption->count() > 0 || profile.has_value();
    meshprobe::report::ReportData data = gatherReport(mesh, options, settings, checked, progress);
    if (profile) {
        meshprobe::CheckOptions checkOptions;
        checkOptions.resolution = options.cavities.resolution;
        checkOptions.threads = options.cavities.threads;
        checkOptions.progress = progress.stage("checking for " + profile->name, 90, 95);
        nlohmann::ordered_json verdict;
        meshprobe::json::addCheckJson(verdict, meshprobe::check(mesh, *profile, checkOptions), *profile);
        data.summary["check"] = std::move(verdict);
    }
    data.summary["report"] = options.outputPath;
    // The page embeds the very object --json prints, "seconds" included (all but the writing itself).
    data.summary["seconds"] = clock.seconds();
    progress.stage("writing " + options.outputPath, 95, 100)(0);
    if (interruptRequested()) throw meshprobe::Cancelled();
    meshprobe::report::writeReport(options.outputPath, data);
    progress.clear();

    if (options.json)
        printJson(data.summary);
    else
        printSummary(options, data.summary);
    return exitCodeFor(checked, options.checks);
}

} // namespace

Command addReportCommand(CLI::App& app)
{
    auto options = std::make_shared<ReportOptions>();
    CLI::App* command = app.add_subcommand(
        "report", "All analyses at once, written as one self-contained HTML page to open in a browser");
    addCommonOptions(*command, *options);
    command->add_option("-o,--output", options->outputPath, "The report to write, REPORT.html")
        ->type_name("REPORT.html")
        ->required();
    addThicknessWindowOptions(*command, *options,
                              {false, "Upper end of the window, mm: thinner walls are thin areas",
                               "Thin areas smaller than this (mm²) are left out of the page and its table"});
    addCavityOptions(*command, options->cavities);
    options->upOption = command->get_option("--up");
    command
        ->add_option("--profile", options->profilePath,
                     "Judge the part by a process profile file; the page opens with the verdict (as --printer does)")
        ->type_name("FILE")
        ->excludes(command->get_option("--printer"));
    addMeshCheckOptions(*command, options->checks);
    command->add_flag("--no-thickness", options->noThickness, "Leave out wall thickness and thin areas");
    command->add_flag("--no-trapped", options->noTrapped, "Leave out trapped volumes");
    command
        ->add_option("--directions", options->directions,
                     "Build directions the orientation table ranks: 6 (the axes), 26 or N spread over the sphere")
        ->type_name("N")
        ->check(CLI::Range(1, 10000))
        ->capture_default_str();
    command->add_flag("--no-orientation", options->noOrientation, "Leave out the ranking of build directions");
    return {command, [options] { return runReport(*options); }};
}

} // namespace cli
