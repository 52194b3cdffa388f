// SPDX-License-Identifier: MIT
// `meshprobe thickness`: wall thickness per face, faces inside a window, a histogram and a colour file.
#include <algorithm>
#include <array>
#include <iostream>
#include <utility>

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
#include "cli/ThicknessWindow.h"
#include "cli/ThinnestWall.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThicknessColours.h"
#include "meshprobe/ThinAreas.h"

namespace cli {

namespace {

constexpr int windowBins = 10;

struct ThicknessOptions : CommonOptions, ThicknessWindowOptions {
    int threads = 0; // 0: the toolkit takes one per core
    std::string colorPath;
    bool perFace = false;
    MeshCheckOptions checks;
};

/// What the summary, the table and the JSON report share.
struct ThinReport {
    meshprobe::ThinCounts counts;
    meshprobe::ThinAreasResult areas;
};

meshprobe::ThinAreaOptions thinAreaOptions(const ThicknessOptions& options)
{
    meshprobe::ThinAreaOptions areaOptions;
    areaOptions.min = static_cast<float>(options.min);
    areaOptions.max = static_cast<float>(options.max);
    areaOptions.minArea = options.minThinArea;
    areaOptions.threads = options.threads;
    return areaOptions;
}

std::string formatPoint(const std::array<double, 3>& p)
{
    return "(" + formatFigure(p[0]) + ", " + formatFigure(p[1]) + ", " + formatFigure(p[2]) + ")";
}

void printSummary(const ThicknessOptions& options, const meshprobe::Mesh& mesh, const std::vector<float>& thickness,
                  const ThinReport& report)
{
    const meshprobe::ThinAreasResult& thin = report.areas;
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.triangleCount()))
        .add("units", unitLine(options))
        .add("window", formatFigure(options.min) + " to " + formatFigure(options.max) + " mm, " +
                           std::to_string(options.samples) + " rays per face")
        .add("thin faces", std::to_string(report.counts.thin) + " thinner than " + formatFigure(options.max) + " mm (" +
                               std::to_string(report.counts.window) + " strictly inside the window)")
        .add("at max", std::to_string(report.counts.atMax) + " faces with no wall thinner than " +
                           formatFigure(options.max) + " mm");
    std::string areas =
        std::to_string(thin.areas.size()) + " of at least " + formatFigure(options.minThinArea) + " mm²";
    if (thin.droppedAreas > 0)
        areas += " (" + std::to_string(thin.droppedAreas) + " tiny areas, " + std::to_string(thin.droppedFaces) +
                 " faces, dropped)";
    if (thin.creaseAreas > 0)
        areas += " (" + std::to_string(thin.creaseAreas) + " patches of crease readings, " +
                 std::to_string(thin.creaseFaces) + " faces, dropped)";
    summary.add("thin areas", areas);
    summary.add("thinnest", thinnestLine(thin.thinnest, options.max));
    if (!options.colorPath.empty()) summary.add("colour file", options.colorPath);
    summary.print(std::cout);

    if (!thin.areas.empty()) {
        Table table({"area", "faces", "≤ min", "mm²", "min mm", "median mm", "centroid", "size mm"},
                    {true, true, true, true, true, true, false, false});
        for (const meshprobe::ThinArea& area : thin.areas) {
            std::array<double, 3> size;
            for (int a = 0; a < 3; ++a)
                size[a] = area.boundsMax[a] - area.boundsMin[a];
            table.addRow({std::to_string(area.id), std::to_string(area.faces.size()),
                          std::to_string(area.facesBelowMin), formatFigure(area.area), formatFigure(area.minThickness),
                          formatFigure(area.medianThickness), formatPoint(area.centroid),
                          formatFigure(size[0]) + " x " + formatFigure(size[1]) + " x " + formatFigure(size[2])});
        }
        std::cout << '\n';
        table.print(std::cout);
    }

    std::vector<std::pair<std::string, size_t>> bars;
    for (size_t b = 0; b < report.counts.bins.size(); ++b) {
        const meshprobe::HistogramBin& bin = report.counts.bins[b];
        bars.emplace_back(b == 0 ? "≤ " + formatFigure(bin.to) : formatFigure(bin.from) + " – " + formatFigure(bin.to),
                          bin.faces);
    }
    bars.emplace_back("≥ " + formatFigure(options.max) + " (max)", report.counts.atMax);
    std::cout << "\nthickness (mm)  faces\n";
    printBarChart(std::cout, bars);

    if (options.perFace) {
        // The analysis' own values, unrounded: --per-face is for checking them.
        Table table({"face", "thickness mm"}, {true, true});
        for (size_t f = 0; f < thickness.size(); ++f)
            table.addRow({std::to_string(f), formatNumber(thickness[f], 9)});
        std::cout << '\n';
        table.print(std::cout);
    }
}

int runThickness(const ThicknessOptions& options)
{
    const Stopwatch clock;
    checkThicknessWindow(options.min, options.max, "--min", "--max");
    const bool colour = !options.colorPath.empty();
    if (colour) checkOutputOption(options.colorPath, "--color", true, options);
    meshprobe::Mesh mesh = loadInputMesh(options);
    BesideAnalysis checks(mesh, options.checks, options.threads);

    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    meshprobe::ThicknessOptions analysis;
    analysis.min = static_cast<float>(options.min);
    analysis.max = static_cast<float>(options.max);
    analysis.samples = options.samples;
    analysis.threads = options.threads;
    // The rays are most of the work; grouping the thin faces takes about a tenth more on a large part.
    analysis.progress = progress.stage("measuring", 0, 90);
    meshprobe::ThinAreaOptions areaOptions = thinAreaOptions(options);
    areaOptions.progress = progress.stage("thin areas", 90, 100);
    meshprobe::ThicknessWithAreas measured = meshprobe::thicknessWithThinAreas(mesh, analysis, areaOptions);
    progress.clear();
    const CheckedMesh checked = checks.result();
    const meshprobe::ThicknessResult& result = measured.thickness;
    if (colour) {
        // One run: the colours follow from the values, with the analysis' ramp; faces counted at max are grey.
        const std::vector<meshprobe::Rgba> colours =
            meshprobe::thicknessColours(result.perFace, analysis.min, analysis.max,
                                        analysis.max - meshprobe::wallLimitTolerance, meshprobe::noWallColour);
        meshprobe::writeColouredMesh(options.colorPath, mesh, colours, {cancelOnInterrupt()});
    }
    progress.clear();

    ThinReport thin;
    thin.counts = meshprobe::thinCounts(result.perFace, analysis.min, analysis.max, windowBins);
    thin.areas = std::move(measured.areas);
    if (!options.json) {
        printSummary(options, mesh, result.perFace, thin);
        return exitCodeFor(checked, options.checks);
    }
    nlohmann::ordered_json report = jsonHead("thickness", options, mesh);
    addWarningsJson(report, checked, options.checks);
    report["min"] = shortestDouble(analysis.min);
    report["max"] = shortestDouble(analysis.max);
    report["samples"] = options.samples;
    report["min_thin_area"] = options.minThinArea;
    report["status"] = result.status;
    report["message"] = result.message;
    meshprobe::json::addThinCountsJson(report, thin.counts);
    report["thinnest"] = meshprobe::json::thinnestJson(thin.areas.thinnest, shortestDouble(analysis.max));
    report["thin_areas"] = nlohmann::ordered_json::array();
    for (const meshprobe::ThinArea& area : thin.areas.areas)
        report["thin_areas"].push_back(meshprobe::json::thinAreaJson(area));
    meshprobe::json::addDroppedAreasJson(report, thin.areas);
    report["histogram"] = meshprobe::json::histogramJson(thin.counts.bins);
    if (options.perFace) report["thickness"] = meshprobe::json::perFaceJson(result.perFace);
    if (colour) report["files"] = {{"color", options.colorPath}};
    report["seconds"] = clock.seconds();
    printJson(report);
    return exitCodeFor(checked, options.checks);
}

} // namespace

Command addThicknessCommand(CLI::App& app)
{
    auto options = std::make_shared<ThicknessOptions>();
    CLI::App* command = app.add_subcommand("thickness", "Wall thickness of every face, by rays cast into the solid");
    addCommonOptions(*command, *options);
    addThicknessWindowOptions(
        *command, *options,
        {true, "Upper end of the window, mm: thinner walls are thin areas; also how far the rays look",
         "Thin areas smaller than this (mm²) are dropped from the summary, the table and the JSON"});
    command
        ->add_option("--color", options->colorPath,
                     "Write the mesh coloured by thickness to OUT (.ply, .3mf, .glb, .obj)")
        ->type_name("OUT")
        ->check(nonEmptyPath());
    command->add_flag("--per-face", options->perFace, "Also list the thickness of every face");
    addMeshCheckOptions(*command, options->checks);
    addForceOption(*command, *options);
    command->add_option("-j,--threads", options->threads, "Worker threads for the rays (default: all cores)")
        ->type_name("T")
        ->check(wholeNumberIn(1, 4096));
    return {command, [options] { return runThickness(*options); }};
}

} // namespace cli
