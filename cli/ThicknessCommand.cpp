// SPDX-License-Identifier: MIT
// `meshprobe thickness`: wall thickness per face, faces inside a window, a histogram and a colour file.
#include <algorithm>
#include <iostream>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/Interrupt.h"
#include "cli/JsonHead.h"
#include "cli/OutputFile.h"
#include "cli/ProgressBar.h"
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "cli/ThicknessWindow.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"
#include "meshprobe/Thickness.h"

namespace cli {

namespace {

constexpr int windowBins = 10;

struct ThicknessOptions : CommonOptions {
    double min = 0.0;
    double max = 0.0;
    int samples = 31;
    int threads = 0; // 0: the toolkit takes one per core
    std::string colorPath;
    bool perFace = false;
};

void printSummary(const ThicknessOptions& options, const meshprobe::Mesh& mesh, const std::vector<float>& thickness,
                  size_t selected, size_t atMax, const std::vector<meshprobe::HistogramBin>& bins)
{
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.triangleCount()))
        .add("window", formatNumber(options.min) + " to " + formatNumber(options.max) + " mm, " +
                           std::to_string(options.samples) + " rays per face")
        .add("selected", std::to_string(selected) + " faces strictly inside the window")
        .add("at max", std::to_string(atMax) + " faces with no wall closer than " + formatNumber(options.max) + " mm");
    if (!thickness.empty()) {
        const auto thinnest = std::min_element(thickness.begin(), thickness.end());
        summary.add("thinnest",
                    formatNumber(*thinnest) + " mm (face " + std::to_string(thinnest - thickness.begin()) + ")");
    }
    if (!options.colorPath.empty()) summary.add("colour file", options.colorPath);
    summary.print(std::cout);

    std::vector<std::pair<std::string, size_t>> bars;
    for (size_t b = 0; b < bins.size(); ++b) {
        const std::string range = b == 0 ? "≤ " + formatNumber(bins[b].to, 4)
                                         : formatNumber(bins[b].from, 4) + " – " + formatNumber(bins[b].to, 4);
        bars.emplace_back(range, bins[b].faces);
    }
    bars.emplace_back("≥ " + formatNumber(options.max, 4) + " (max)", atMax);
    std::cout << "\nthickness (mm)  faces\n";
    printBarChart(std::cout, bars);

    if (options.perFace) {
        Table table({"face", "thickness mm"}, {true, true});
        for (size_t f = 0; f < thickness.size(); ++f)
            table.addRow({std::to_string(f), formatNumber(thickness[f])});
        std::cout << '\n';
        table.print(std::cout);
    }
}

int runThickness(const ThicknessOptions& options)
{
    const Stopwatch clock;
    checkThicknessWindow(options.min, options.max, "--min", "--max");
    const bool colour = !options.colorPath.empty();
    if (colour) checkOutputOption(options.colorPath, "--color", true);
    const meshprobe::Mesh mesh = meshprobe::loadMesh(options.meshPath, {cancelOnInterrupt()});

    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    meshprobe::ThicknessOptions analysis;
    analysis.min = static_cast<float>(options.min);
    analysis.max = static_cast<float>(options.max);
    analysis.samples = options.samples;
    analysis.threads = options.threads;
    // Colours come from a second run of the analysis: the library writes either values or colours.
    analysis.colours = colour;
    analysis.progress = progress.phases({{95.0f, "measuring"}, {100.0f, colour ? "colouring" : "measuring"}}, 0, 100);
    const meshprobe::ThicknessResult result = meshprobe::thickness(mesh, analysis);
    if (colour) meshprobe::writeColouredMesh(options.colorPath, mesh, result.faceColours, {cancelOnInterrupt()});
    progress.clear();

    const std::vector<meshprobe::HistogramBin> bins =
        meshprobe::thicknessHistogram(result.perFace, analysis.min, analysis.max, windowBins);
    if (!options.json) {
        printSummary(options, mesh, result.perFace, result.selectedFaces.size(), result.facesAtMax, bins);
        return 0;
    }
    nlohmann::ordered_json report = jsonHead("thickness", options, mesh);
    report["min"] = shortestDouble(analysis.min);
    report["max"] = shortestDouble(analysis.max);
    report["samples"] = options.samples;
    report["status"] = result.status;
    report["message"] = result.message;
    report["selected_faces"] = result.selectedFaces.size();
    report["faces_at_max"] = result.facesAtMax;
    report["histogram"] = nlohmann::ordered_json::array();
    for (const meshprobe::HistogramBin& bin : bins)
        report["histogram"].push_back({{"from", bin.from}, {"to", bin.to}, {"faces", bin.faces}});
    if (options.perFace) {
        nlohmann::ordered_json values = nlohmann::ordered_json::array();
        for (float t : result.perFace)
            values.push_back(shortestDouble(t));
        report["thickness"] = std::move(values);
    }
    report["seconds"] = clock.seconds();
    printJson(report);
    return 0;
}

} // namespace

Command addThicknessCommand(CLI::App& app)
{
    auto options = std::make_shared<ThicknessOptions>();
    CLI::App* command = app.add_subcommand("thickness", "Wall thickness of every face, by rays cast into the solid");
    addCommonOptions(*command, *options);
    command->add_option("--min", options->min, "Lower end of the thickness window, mm")
        ->type_name("A")
        ->required()
        ->check(CLI::NonNegativeNumber);
    command->add_option("--max", options->max, "Upper end of the window, mm; also how far the rays look")
        ->type_name("B")
        ->required()
        ->check(CLI::NonNegativeNumber);
    command->add_option("--samples", options->samples, "Rays per face: 1..31 spread over the face, 32+ one ray")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    command->add_option("--color", options->colorPath, "Write the mesh coloured by thickness to OUT (.ply, .glb, .obj)")
        ->type_name("OUT");
    command->add_flag("--per-face", options->perFace, "Also list the thickness of every face");
    command->add_option("-j,--threads", options->threads, "Worker threads for the rays (default: all cores)")
        ->type_name("T")
        ->check(CLI::PositiveNumber);
    return {command, [options] { return runThickness(*options); }};
}

} // namespace cli
