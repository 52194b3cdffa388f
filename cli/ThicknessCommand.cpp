// SPDX-License-Identifier: MIT
// `meshprobe thickness`: wall thickness per face, faces inside a window, a histogram and a colour file.
#include <algorithm>
#include <iostream>

#include "cli/AtomicFile.h"
#include "cli/CliError.h"
#include "cli/CommandSupport.h"
#include "cli/MeshExport.h"
#include "cli/MeshImport.h"
#include "cli/ProgressBar.h"
#include "cli/TextReport.h"
#include "cli/ThicknessRun.h"

namespace cli {

namespace {

constexpr int windowBins = 10;

struct ThicknessOptions : CommonOptions {
    double min = 0.0;
    double max = 0.0;
    int samples = 31;
    std::string colorPath;
    bool perFace = false;
};

struct Bin {
    double from;
    double to;
    size_t faces;
};

/// Faces at or below min in the first bin [0, min]; then ten equal bins [from, to) over the open window
/// (min, max), which together hold exactly the selected faces. Faces that reached max are counted apart.
std::vector<Bin> histogram(const std::vector<float>& thickness, float min, float max)
{
    std::vector<Bin> bins{{0.0, min, 0}};
    // Edges as (min * (n - b) + max * b) / n keep round windows round (0.9, not 0.8999999999999999).
    auto edge = [min, max](int b) { return (double(min) * (windowBins - b) + double(max) * b) / windowBins; };
    if (max > min)
        for (int b = 0; b < windowBins; ++b)
            bins.push_back({edge(b), edge(b + 1), 0});
    for (float t : thickness) {
        if (t >= max) continue;
        if (t <= min) {
            ++bins[0].faces;
            continue;
        }
        int b = windowBins - 1;
        while (b > 0 && t < edge(b))
            --b;
        ++bins[static_cast<size_t>(1 + b)].faces;
    }
    return bins;
}

void printSummary(const ThicknessOptions& options, const UMesh<float>& mesh, const std::vector<float>& thickness,
                  size_t selected, size_t atMax, const std::vector<Bin>& bins)
{
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.faces.size()))
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
    if (!options.colorPath.empty()) {
        checkOutputPath(options.colorPath, "--color");
        outputFormatFor(options.colorPath, "--color", true);
    }
    const std::unique_ptr<UMesh<float>> mesh = importMesh(options.meshPath);
    const float min = static_cast<float>(options.min);
    const float max = static_cast<float>(options.max);

    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    const bool colour = !options.colorPath.empty();
    std::string message;
    const std::vector<float> thickness =
        measureAndSelect(*mesh, min, max, options.samples, progress.stage("measuring", 0, colour ? 50 : 100), &message);
    if (colour) {
        // The colour pass measures again: the library writes either selection flags and thickness values
        // or colours, never both.
        const auto colours = measureColours(*mesh, min, max, options.samples, progress.stage("colouring", 50, 100));
        writeColouredMesh(options.colorPath, *mesh, colours);
    }
    progress.clear();

    const size_t selected = selectedFaceCount(*mesh);
    const size_t atMax =
        static_cast<size_t>(std::count_if(thickness.begin(), thickness.end(), [max](float t) { return t >= max; }));
    const std::vector<Bin> bins = histogram(thickness, min, max);

    if (!options.json) {
        printSummary(options, *mesh, thickness, selected, atMax, bins);
        return 0;
    }
    nlohmann::ordered_json report = jsonHead("thickness", options, *mesh);
    report["min"] = shortestDouble(min);
    report["max"] = shortestDouble(max);
    report["samples"] = options.samples;
    report["status"] = 1;
    report["message"] = message;
    report["selected_faces"] = selected;
    report["faces_at_max"] = atMax;
    report["histogram"] = nlohmann::ordered_json::array();
    for (const Bin& bin : bins)
        report["histogram"].push_back({{"from", bin.from}, {"to", bin.to}, {"faces", bin.faces}});
    if (options.perFace) {
        nlohmann::ordered_json values = nlohmann::ordered_json::array();
        for (float t : thickness)
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
    return {command, [options] { return runThickness(*options); }};
}

} // namespace cli
