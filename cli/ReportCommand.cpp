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
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "cli/ThicknessWindow.h"
#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "meshprobe/Check.h"
#include "meshprobe/Import.h"
#include "meshprobe/Profile.h"
#include "meshprobe/ThinAreas.h"
#include "report/ReportContent.h"

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
    try {
        meshprobe::report::checkReportPath(path);
    } catch (const meshprobe::InputError& e) {
        throw meshprobe::InputError(std::string("-o: ") + e.what());
    }
}

/// The text summary, from the report's typed results.
void printSummary(const ReportOptions& options, const meshprobe::Mesh& mesh,
                  const meshprobe::report::ReportContent& content, const std::optional<meshprobe::Profile>& profile,
                  std::size_t warnings)
{
    Summary lines;
    lines.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.triangleCount()))
        .add("units", unitLine(options));
    if (content.thinCounts && content.thinAreas) {
        const meshprobe::ThinAreasResult& thin = *content.thinAreas;
        std::string areas = std::to_string(thin.areas.size()) + " of at least " + formatFigure(options.minThinArea) +
                            " mm² (" + std::to_string(content.thinCounts->thin) + " faces thinner than " +
                            formatFigure(options.max) + " mm";
        if (thin.droppedAreas > 0) areas += "; " + std::to_string(thin.droppedAreas) + " tiny areas dropped";
        if (thin.creaseFaces > 0)
            areas += "; " + std::to_string(thin.creaseFaces) + " faces of crease readings dropped";
        lines.add("thin areas", areas + ")");
        lines.add("thinnest", !thin.thinnest.found ? "none thinner than " + formatFigure(options.max) + " mm"
                                                   : formatFigure(shortestDouble(thin.thinnest.thickness)) +
                                                         " mm (area " + std::to_string(thin.thinnest.area) + ")");
    }
    if (content.cavities) {
        const meshprobe::CavitiesResult& trapped = *content.cavities;
        const std::size_t cavities = trapped.cavities.size();
        lines.add("trapped", formatVolume(shortestDouble(trapped.trappedVolume)) + " in " + std::to_string(cavities) +
                                 (cavities == 1 ? " cavity, up " : " cavities, up ") +
                                 meshprobe::formatDirection(trapped.up));
        if (trapped.tinyCavities > 0)
            lines.add("", tinyCavitiesText(trapped.tinyCavities, trapped.tinyVolume, options.cavities.minCavity));
    }
    if (content.orientation) {
        const meshprobe::OrientResult& ranking = *content.orientation;
        lines.add("best up", "--up " + meshprobe::formatDirection(ranking.candidates.front().up) + " of " +
                                 std::to_string(ranking.candidates.size()) + " directions" +
                                 (ranking.reason.empty() ? std::string() : " (" + ranking.reason + ")"));
    }
    lines.add("mesh checks", warnings == 0 ? "no problems found"
                                           : std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") +
                                                 " (above, and in the report)");
    if (content.check && profile) {
        std::size_t fail = 0, warn = 0;
        for (const meshprobe::Finding& f : content.check->findings) {
            fail += f.severity == meshprobe::Severity::Fail;
            warn += f.severity == meshprobe::Severity::Warn;
        }
        lines.add("verdict", meshprobe::toString(content.check->verdict) + " for " + profile->name + " (" +
                                 std::to_string(fail) + " failing, " + std::to_string(warn) +
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
    meshprobe::report::ReportSettings settings;
    settings.meshName = options.meshPath;
    settings.units = inputUnit(options);
    settings.thickness = !options.noThickness;
    settings.min = static_cast<float>(options.min);
    settings.max = static_cast<float>(options.max);
    settings.samples = options.samples;
    settings.minThinArea = options.minThinArea;
    settings.trapped = !options.noTrapped;
    settings.cavities = cavityAnalysis(options.cavities);
    settings.profile = profile;
    settings.orientation.directions = options.noOrientation ? 0 : options.directions;
    settings.orientation.upChosen = options.upOption->count() > 0 || profile.has_value();
    settings.meshWarnings = checked.warnings;
    if (options.checks.fixWinding) settings.windingFixedFaces = checked.flippedFaces;
    settings.secondsBefore = clock.seconds();
    settings.progress = [&progress](const std::string& label, int from, int to) {
        return progress.stage(label, from, to);
    };
    const meshprobe::report::ReportContent content =
        meshprobe::report::writeReportFile(mesh, options.outputPath, settings);
    progress.clear();

    if (options.json)
        printJson(content.data.summary);
    else
        printSummary(options, mesh, content, profile, checked.warnings.size());
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
