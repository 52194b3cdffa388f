// SPDX-License-Identifier: MIT
// `meshprobe report`: every analysis run once on one import, written as a self-contained HTML page.
#include <omp.h>

#include <iostream>

#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/Interrupt.h"
#include "cli/ProgressBar.h"
#include "cli/ReportContent.h"
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "cli/ThicknessWindow.h"
#include "meshprobe/BuildDirection.h"
#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"

namespace cli {

namespace {

struct ReportOptions : CommonOptions {
    std::string outputPath;
    double min = 0.0;
    double max = 2.0;
    int samples = 31;
    int resolution = 256;
    int threads = omp_get_num_procs();
    std::string up = "+z";
    bool noThickness = false;
    bool noTrapped = false;
};

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
    lines.add("mesh", options.meshPath).add("triangles", std::to_string(summary["triangles"].get<std::size_t>()));
    if (summary.contains("thickness")) {
        const auto& thickness = summary["thickness"];
        lines.add("thin areas", std::to_string(summary["thin_areas"].size()) + " (" +
                                    std::to_string(thickness["selected_faces"].get<std::size_t>()) +
                                    " faces thinner than " + formatNumber(options.max) + " mm)");
        if (thickness.contains("thinnest"))
            lines.add("thinnest", formatNumber(thickness["thinnest"]["thickness"].get<double>(), 4) + " mm");
    }
    if (summary.contains("trapped"))
        lines.add("trapped", formatVolume(summary["trapped"]["trapped_volume"].get<double>()) + " in " +
                                 std::to_string(summary["trapped"]["cavities"].size()) + " cavities, up " + options.up);
    for (const auto& warning : summary["warnings"])
        lines.add("warning", warning["text"].get<std::string>());
    lines.add("report", options.outputPath);
    lines.print(std::cout);
}

int runReport(const ReportOptions& options)
{
    const Stopwatch clock;
    checkReportPath(options.outputPath);
    if (!options.noThickness) checkThicknessWindow(options.min, options.max, "--min", "--max");
    const meshprobe::Mesh mesh = meshprobe::loadMesh(options.meshPath, {cancelOnInterrupt()});

    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    ReportSettings settings;
    settings.thickness = !options.noThickness;
    settings.min = static_cast<float>(options.min);
    settings.max = static_cast<float>(options.max);
    settings.samples = options.samples;
    settings.trapped = !options.noTrapped;
    settings.resolution = options.resolution;
    settings.up = options.up;
    settings.threads = options.threads;
    meshprobe::report::ReportData data = gatherReport(mesh, options, settings, progress);
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
    return 0;
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
    command->add_option("--min", options->min, "Lower end of the thickness window, mm")
        ->type_name("A")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    command->add_option("--max", options->max, "Upper end of the window, mm: thinner walls are thin areas")
        ->type_name("B")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    command->add_option("--samples", options->samples, "Rays per face: 1..31 spread over the face, 32+ one ray")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    command->add_option("-r,--resolution", options->resolution, "Voxels along the longest side of the part")
        ->type_name("N")
        ->check(CLI::Range(1, 1290))
        ->capture_default_str();
    command->add_option("-j,--threads", options->threads, "Worker threads (default: all cores)")
        ->type_name("T")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    command->add_option("--up", options->up, "Build direction: the model axis that points up (+z, -z, +x, -x, +y, -y)")
        ->type_name("AXIS")
        ->check(CLI::IsMember(meshprobe::buildDirectionNames()))
        ->capture_default_str();
    command->add_flag("--no-thickness", options->noThickness, "Leave out wall thickness and thin areas");
    command->add_flag("--no-trapped", options->noTrapped, "Leave out trapped volumes");
    return {command, [options] { return runReport(*options); }};
}

} // namespace cli
