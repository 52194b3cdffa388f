// SPDX-License-Identifier: MIT
// `meshprobe orient`: the trapped-volume analysis over many build directions, best first.
#include "meshprobe/Threads.h"

#include <iostream>
#include <optional>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/NumberRange.h"
#include "cli/CommonOptions.h"
#include "cli/InputMesh.h"
#include "cli/Interrupt.h"
#include "cli/JsonHead.h"
#include "cli/MeshWarnings.h"
#include "cli/ProgressBar.h"
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "meshprobe/Import.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Profile.h"

namespace cli {

namespace {

struct OrientOptions : CommonOptions {
    int resolution = 256;
    int threads = meshprobe::defaultThreadCount();
    int directions = 26;
    double minCavity = 0.0;
    bool refine = false;
    std::string printer;
    std::string profilePath;
    MeshCheckOptions checks;
};

/// The profile of --printer or --profile, if either was given.
std::optional<meshprobe::Profile> chosenProfile(const OrientOptions& options)
{
    try {
        if (!options.printer.empty()) return meshprobe::builtinProfile(options.printer);
        if (!options.profilePath.empty()) return meshprobe::loadProfile(options.profilePath);
    } catch (const InputError& e) {
        throw InputError((options.printer.empty() ? "--profile: " : "--printer: ") + std::string(e.what()));
    }
    return std::nullopt;
}

std::string rankingText(const std::optional<meshprobe::Profile>& profile)
{
    if (!profile) return "least trapped material";
    switch (meshprobe::rankingFor(profile->base)) {
    case meshprobe::OrientRanking::Resin:
        return "least sealed cavity volume, then support area, then build height";
    case meshprobe::OrientRanking::BottomUpResin:
        return "least sealed cavity volume, then suction cup volume, then support area, then build height";
    case meshprobe::OrientRanking::Powder:
        return "least sealed cavity volume, then build height";
    case meshprobe::OrientRanking::Fdm:
        return "least support area, then build height";
    case meshprobe::OrientRanking::TrappedMaterial:
        break;
    }
    return "least trapped material";
}

int runOrient(OrientOptions& options)
{
    const Stopwatch clock;
    meshprobe::Mesh mesh = loadInputMesh(options);
    const CheckedMesh checked = checkMesh(mesh, options.checks);
    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    meshprobe::OrientOptions analysis;
    analysis.resolution = options.resolution;
    analysis.directions = options.directions;
    analysis.threads = options.threads;
    analysis.minCavityVolume = options.minCavity;
    analysis.refineRounds = options.refine ? 2 : 0;
    const std::optional<meshprobe::Profile> profile = chosenProfile(options);
    if (profile) {
        analysis.ranking = meshprobe::rankingFor(profile->base);
        analysis.overhangAngle = profile->overhangAngle;
    }
    analysis.progress = progress.stage("trying " + std::to_string(options.directions) + " directions", 0, 100);
    const meshprobe::OrientResult result = meshprobe::orient(mesh, analysis);
    progress.clear();

    if (options.json) {
        nlohmann::ordered_json report = jsonHead("orient", options, mesh);
        addWarningsJson(report, checked, options.checks);
        report["resolution"] = options.resolution;
        report["process"] = profile ? nlohmann::ordered_json(profile->name) : nlohmann::ordered_json(nullptr);
        report["ranking"] = rankingText(profile);
        report["overhang_angle"] = analysis.overhangAngle;
        report["min_cavity"] = options.minCavity;
        report["noise_voxels"] = meshprobe::noiseVoxels;
        if (!result.candidates.empty()) report["best_up"] = meshprobe::formatDirection(result.candidates.front().up);
        report["why_best"] = result.reason;
        report["refined"] = nlohmann::ordered_json::array();
        for (const meshprobe::Direction& d : result.refined)
            report["refined"].push_back(meshprobe::formatDirection(d));
        report["directions"] = nlohmann::ordered_json::array();
        for (const meshprobe::OrientCandidate& c : result.candidates)
            report["directions"].push_back(meshprobe::json::orientCandidateJson(c, result.suctionCupsMeasured));
        report["seconds"] = clock.seconds();
        printJson(report);
        return exitCodeFor(checked, options.checks);
    }
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.triangleCount()))
        .add("units", unitLine(options))
        .add("grid", std::to_string(options.resolution) + "³ voxels per direction")
        .add("process", profile ? profile->name + " (supports below " + formatFigure(profile->overhangAngle) + "°)"
                                : "none (supports below 45°; --printer or --profile ranks for a process)")
        .add("directions", std::to_string(result.candidates.size()) + ", best first (" + rankingText(profile) +
                               "; ties to axis directions, then the lower build)")
        .add("noise", "cavities under " + std::to_string(meshprobe::noiseVoxels) + " voxels" +
                          (options.minCavity > 0 ? " or " + formatVolume(options.minCavity) : std::string()) +
                          " neither count nor rank");
    if (!result.candidates.empty())
        summary.add("best", "--up " + meshprobe::formatDirection(result.candidates.front().up));
    if (!result.reason.empty()) summary.add("why", result.reason + " (against the runner-up)");
    if (options.refine) {
        std::string added;
        for (const meshprobe::Direction& d : result.refined)
            added += (added.empty() ? "" : " ") + meshprobe::formatDirection(d);
        summary.add("refined", std::to_string(result.refined.size()) + " directions added near the best: " + added);
    }
    summary.print(std::cout);
    std::vector<std::string> heads{"rank", "--up", "trapped mm³", "sealed mm³", "cavities", "noise"};
    if (result.suctionCupsMeasured) heads.insert(heads.end(), {"cups", "cups mm³"});
    heads.insert(heads.end(), {"supports mm²", "islands", "height mm", "footprint mm²"});
    std::vector<bool> right(heads.size(), true);
    right[1] = false;
    Table table(heads, right);
    for (std::size_t i = 0; i < result.candidates.size(); ++i) {
        const meshprobe::OrientCandidate& c = result.candidates[i];
        std::vector<std::string> row{
            std::to_string(i + 1),           meshprobe::formatDirection(c.up), "~" + formatNumber(c.estimatedVolume, 5),
            formatNumber(c.sealedVolume, 5), std::to_string(c.cavities),       std::to_string(c.noiseCavities)};
        if (result.suctionCupsMeasured)
            row.insert(row.end(), {std::to_string(c.suctionCups), formatNumber(c.suctionCupVolume, 5)});
        row.insert(row.end(), {formatNumber(c.overhangArea, 5), std::to_string(c.islands),
                               formatNumber(c.buildHeight, 5), formatNumber(c.footprint, 5)});
        table.addRow(row);
    }
    std::cout << '\n';
    table.print(std::cout);
    return exitCodeFor(checked, options.checks);
}

} // namespace

Command addOrientCommand(CLI::App& app)
{
    auto options = std::make_shared<OrientOptions>();
    CLI::App* command = app.add_subcommand("orient", "Trapped air for many build directions, best direction first");
    addCommonOptions(*command, *options);
    command->add_option("-r,--resolution", options->resolution, "Voxels along the longest side, per direction")
        ->type_name("N")
        ->check(CLI::Range(1, 1290))
        ->capture_default_str();
    command->add_option("-j,--threads", options->threads, "Directions analysed at once (default: all cores)")
        ->type_name("T")
        ->check(wholeNumberIn(1, 4096))
        ->capture_default_str();
    command
        ->add_option("--directions", options->directions,
                     "6 (the axes), 26 (axes, edges and corners of a cube) or N spread evenly over the sphere")
        ->type_name("N")
        ->check(CLI::Range(1, 10000))
        ->capture_default_str();
    command->add_option("--min-cavity", options->minCavity, "Cavities below V mm³ neither count nor rank")
        ->type_name("V")
        ->check(numberIn(0.0, 1e18, "mm³"))
        ->capture_default_str();
    command->add_flag("--refine", options->refine,
                      "After the coarse pass, two rounds of directions on shrinking cones around the best 3");
    auto* printer =
        command->add_option("--printer", options->printer, "Rank for a built-in process profile")
            ->type_name("KIND")
            ->check([](const std::string& kind) { return kind.empty() ? "the printer kind is empty" : ""; });
    command->add_option("--profile", options->profilePath, "Rank for the process of a profile file")
        ->type_name("FILE")
        ->excludes(printer);
    addMeshCheckOptions(*command, options->checks);
    return {command, [options] { return runOrient(*options); }};
}

} // namespace cli
