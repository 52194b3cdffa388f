// SPDX-License-Identifier: MIT
// `meshprobe areas`: a face selection grouped into labelled, edge-connected patches with boundary loops.
#include <algorithm>
#include <iostream>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/FaceSelection.h"
#include "cli/InputMesh.h"
#include "cli/Interrupt.h"
#include "cli/NumberRange.h"
#include "cli/JsonHead.h"
#include "cli/ProgressBar.h"
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "cli/ThicknessWindow.h"
#include "meshprobe/Import.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThinAreas.h"

namespace cli {

namespace {

/// Rays per face of the thickness analysis behind --thin (the thickness command's default).
constexpr int thinSamples = 31;

struct AreasOptions : CommonOptions {
    std::string faces;
    std::vector<double> thin;
    std::string label = "area";
    int threads = 0; // 0: the toolkit takes one per core
};

/// The faces named by --faces, or those whose thickness lies strictly inside the --thin window.
std::vector<std::uint32_t> selectFaces(const meshprobe::Mesh& mesh, const AreasOptions& options)
{
    if (!options.faces.empty()) {
        const std::vector<int> faces =
            parseFaceSelection(options.faces, static_cast<int>(mesh.triangleCount()), "--faces");
        return std::vector<std::uint32_t>(faces.begin(), faces.end());
    }
    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    meshprobe::ThicknessOptions window;
    window.min = static_cast<float>(options.thin[0]);
    window.max = static_cast<float>(options.thin[1]);
    window.samples = thinSamples;
    window.threads = options.threads;
    window.progress = progress.stage("measuring thickness", 0, 100);
    const std::vector<float> perFace = meshprobe::thickness(mesh, window).perFace;
    // The thickness command's rule: a wall of exactly MAX is not thinner than MAX.
    std::vector<std::uint32_t> thin;
    for (std::size_t f = 0; f < perFace.size(); ++f)
        if (meshprobe::isThin(perFace[f], window.min, window.max)) thin.push_back(static_cast<std::uint32_t>(f));
    return thin;
}

int runAreas(const AreasOptions& options)
{
    const Stopwatch clock;
    if (options.faces.empty() && options.thin.empty())
        throw InputError("areas: give the selection with --faces LIST or --thin MIN MAX");
    if (!options.thin.empty()) checkThicknessWindow(options.thin[0], options.thin[1], "--thin MIN", "MAX");
    const meshprobe::Mesh mesh = loadInputMesh(options);
    const meshprobe::MarkingAreasResult result =
        meshprobe::markingAreas(mesh, selectFaces(mesh, options), options.label);
    const std::vector<meshprobe::MarkingArea>& areas = result.areas;
    const size_t selected = result.selectedFaces;

    if (options.json) {
        nlohmann::ordered_json report = jsonHead("areas", options, mesh);
        report["selected_faces"] = selected;
        report["areas"] = nlohmann::ordered_json::array();
        for (const meshprobe::MarkingArea& area : areas)
            report["areas"].push_back(meshprobe::json::markingAreaJson(area));
        report["seconds"] = clock.seconds();
        printJson(report);
        return 0;
    }
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.triangleCount()))
        .add("units", unitLine(options))
        .add("selected", std::to_string(selected) + " faces")
        .add("areas", std::to_string(areas.size()) + " labelled \"" + options.label + "\"");
    summary.print(std::cout);
    if (areas.empty()) return 0;
    Table table({"id", "faces", "area mm²", "loops", "loop lengths (vertices)"}, {true, true, true, true, false});
    for (const meshprobe::MarkingArea& area : areas) {
        std::string lengths;
        for (const std::vector<std::uint32_t>& loop : area.loops)
            lengths += (lengths.empty() ? "" : ", ") + std::to_string(loop.size() - 1);
        table.addRow({std::to_string(area.id), std::to_string(area.faces.size()), formatNumber(area.area),
                      std::to_string(area.loops.size()), lengths});
    }
    std::cout << '\n';
    table.print(std::cout);
    return 0;
}

} // namespace

Command addAreasCommand(CLI::App& app)
{
    auto options = std::make_shared<AreasOptions>();
    CLI::App* command =
        app.add_subcommand("areas", "Group selected faces into labelled patches with their boundary loops");
    addCommonOptions(*command, *options);
    CLI::Option* faces =
        command->add_option("--faces", options->faces, "Selected faces: indices and ranges (3,4,9-20) or @file.txt")
            ->type_name("LIST");
    command
        ->add_option("--thin", options->thin, "Select the faces whose wall thickness lies strictly between MIN and MAX")
        ->expected(2)
        ->allow_extra_args(false) // "--thin 0 1 part.stl": the third value is MESH, not more of --thin
        ->type_name("MIN MAX")
        ->check(numberIn(0.0, largestLength, "mm"))
        ->excludes(faces);
    command->add_option("-j,--threads", options->threads, "Worker threads for the rays of --thin (default: all cores)")
        ->type_name("T")
        ->check(wholeNumberIn(1, 4096));
    command->add_option("--label", options->label, "Name given to every area")
        ->type_name("TEXT")
        ->capture_default_str();
    return {command, [options] { return runAreas(*options); }};
}

} // namespace cli
