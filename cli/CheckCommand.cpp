// SPDX-License-Identifier: MIT
// `meshprobe check`: go or no-go for a process: the verdict first, then every finding with its place, its
// measure against the limit and the fix.
#include <cctype>
#include <cmath>
#include <iostream>

#include <omp.h>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/InputMesh.h"
#include "cli/JsonHead.h"
#include "cli/NumberRange.h"
#include "cli/ProcessProfile.h"
#include "cli/ProgressBar.h"
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "meshprobe/Check.h"
#include "toolkit/json/ResultJson.h"

namespace cli {

namespace {

/// A failing verdict (or, with --strict, a warning): the analysis ran, the part is not fit to print.
constexpr int ExitVerdictFailed = 3;

struct CheckCliOptions : CommonOptions {
    ProfileCliOptions profile;
    int resolution = 256;
    int threads = 0;
    bool fixWinding = false;
    bool strict = false;
};

std::string upperCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string pointText(const std::array<double, 3>& p)
{
    auto coordinate = [](double v) { return formatNumber(std::fabs(v) < 5e-5 ? 0.0 : v, 4); };
    return "(" + coordinate(p[0]) + ", " + coordinate(p[1]) + ", " + coordinate(p[2]) + ")";
}

std::string countText(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void printText(const CheckCliOptions& options, const meshprobe::Profile& profile, const meshprobe::CheckResult& result)
{
    std::size_t counts[4] = {};
    for (const meshprobe::Finding& f : result.findings)
        ++counts[static_cast<int>(f.severity)];
    std::cout << upperCase(meshprobe::toString(result.verdict)) << "  " << options.meshPath << " for " << profile.name
              << ": " << countText(counts[3], "failure", "failures") << ", "
              << countText(counts[2], "warning", "warnings") << ", " << countText(counts[1], "note", "notes") << "\n\n";
    for (const meshprobe::Finding& f : result.findings) {
        std::cout << "  " << upperCase(meshprobe::toString(f.severity)) << "  " << f.code << ": " << f.message;
        if (f.where) std::cout << ", at " << pointText(*f.where);
        std::cout << "\n";
        if (!f.fix.empty()) std::cout << "        fix: " << f.fix << "\n";
    }
    if (!result.findings.empty()) std::cout << "\n";
    Summary summary;
    summary.add("process", profile.name + " (up " + meshprobe::formatDirection(profile.up) + ")")
        .add("walls", "fail below " + formatFigure(profile.minWall) + " mm, warn below " +
                          formatFigure(profile.recommendedWall) + " mm; areas from " +
                          formatFigure(profile.minThinArea) + " mm²")
        .add("thinnest wall", result.thinnestWall
                                  ? formatFigure(*result.thinnestWall) + " mm"
                                  : "none thinner than " + formatFigure(profile.recommendedWall) + " mm");
    if (result.voxelSize > 0)
        summary.add("grid",
                    std::to_string(options.resolution) + "³ voxels of " + formatFigure(result.voxelSize) + " mm");
    if (result.ignoredTinyCavities)
        summary.add("", countText(result.ignoredTinyCavities, "cavity", "cavities") +
                            " under 8 voxels left out as voxel noise");
    if (options.fixWinding)
        summary.add("winding", "--fix-winding turned " + std::to_string(result.flippedFaces) + " faces");
    summary.print(std::cout);
}

int runCheck(CheckCliOptions& options)
{
    const Stopwatch clock;
    const meshprobe::Profile profile = resolveProfile(options.profile);
    meshprobe::Mesh mesh = loadInputMesh(options);

    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    meshprobe::CheckOptions analysis;
    analysis.resolution = options.resolution;
    analysis.threads = options.threads;
    analysis.fixWinding = options.fixWinding;
    analysis.progress = progress.phases(
        {{5.0f, "checking the mesh"}, {40.0f, "measuring walls"}, {100.0f, "finding cavities"}}, 0, 100);
    const meshprobe::CheckResult result = meshprobe::check(mesh, profile, analysis);
    progress.clear();

    if (options.json) {
        nlohmann::ordered_json report = jsonHead("check", options, mesh);
        meshprobe::json::addCheckJson(report, result, profile);
        report["warnings"] = meshprobe::json::warningsJson(result.meshWarnings);
        if (options.fixWinding) report["winding_fixed_faces"] = result.flippedFaces;
        report["resolution"] = options.resolution;
        report["seconds"] = clock.seconds();
        printJson(report);
    } else {
        printText(options, profile, result);
    }
    const bool failed =
        result.verdict == meshprobe::Verdict::Fail || (options.strict && result.verdict == meshprobe::Verdict::Warn);
    return failed ? ExitVerdictFailed : ExitSuccess;
}

} // namespace

Command addCheckCommand(CLI::App& app)
{
    auto options = std::make_shared<CheckCliOptions>();
    options->threads = omp_get_num_procs();
    CLI::App* command = app.add_subcommand(
        "check", "Go or no-go for a process: thin walls, trapped material, suction cups and mesh defects");
    addCommonOptions(*command, *options);
    addProfileOptions(*command, options->profile, true);
    command->add_option("-r,--resolution", options->resolution, "Voxels along the longest side of the part")
        ->type_name("N")
        ->check(wholeNumberIn(1, 1290))
        ->capture_default_str();
    command->add_option("-j,--threads", options->threads, "Worker threads (default: all cores)")
        ->type_name("T")
        ->check(wholeNumberIn(1, 4096))
        ->capture_default_str();
    command->add_flag("--fix-winding", options->fixWinding,
                      "Make the winding consistent and turn inside-out shells before checking");
    command->add_flag("--strict", options->strict, "Exit with 3 on a warning too, not only on a failure");
    command->footer(profileFooter() +
                    "\nExit codes: 0 pass or warn, 3 fail (with --strict also warn), 1 analysis failed, 2 bad "
                    "usage or input.");
    return {command, [options] { return runCheck(*options); }};
}

} // namespace cli
