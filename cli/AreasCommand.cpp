// SPDX-License-Identifier: MIT
// `meshprobe areas`: a face selection grouped into labelled, edge-connected patches with boundary loops.
#include <algorithm>
#include <iostream>

#include "analysis/MeshAnalyzer.h"
#include "cli/CliError.h"
#include "cli/CommandSupport.h"
#include "cli/FaceSelection.h"
#include "cli/MeshImport.h"
#include "cli/ProgressBar.h"
#include "cli/TextReport.h"
#include "cli/ThicknessRun.h"

namespace cli {

namespace {

/// Rays per face of the thickness analysis behind --thin (the thickness command's default).
constexpr int thinSamples = 31;

struct AreasOptions : CommonOptions {
    std::string faces;
    std::vector<double> thin;
    std::string label = "area";
};

/// Selects the faces named by --faces, or those whose thickness lies strictly inside the --thin window.
size_t selectFaces(UMesh<float>& mesh, const AreasOptions& options)
{
    if (!options.faces.empty()) {
        const std::vector<int> faces =
            parseFaceSelection(options.faces, static_cast<int>(mesh.faces.size()), "--faces");
        for (int f : faces)
            mesh.faces[static_cast<size_t>(f)]->SetS();
        return faces.size();
    }
    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    measureAndSelect(mesh, static_cast<float>(options.thin[0]), static_cast<float>(options.thin[1]), thinSamples,
                     progress.stage("measuring thickness", 0, 100));
    return selectedFaceCount(mesh);
}

double patchArea(const UMesh<float>& mesh, const std::vector<int>& faces)
{
    double area = 0.0;
    for (int f : faces) {
        const UTriangle<float>& t = *mesh.faces[static_cast<size_t>(f)];
        double e1[3], e2[3];
        for (int a = 0; a < 3; ++a) {
            e1[a] = double(t.P(1)[a]) - t.P(0)[a];
            e2[a] = double(t.P(2)[a]) - t.P(0)[a];
        }
        const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                             e1[0] * e2[1] - e1[1] * e2[0]};
        area += 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    }
    return area;
}

int runAreas(const AreasOptions& options)
{
    const Stopwatch clock;
    if (options.faces.empty() && options.thin.empty())
        throw InputError("areas: give the selection with --faces LIST or --thin MIN MAX");
    if (!options.thin.empty()) checkThicknessWindow(options.thin[0], options.thin[1], "--thin MIN", "MAX");
    const std::unique_ptr<UMesh<float>> mesh = importMesh(options.meshPath);
    const size_t selected = selectFaces(*mesh, options);

    Analysis::MarkingArea areas;
    Analysis::MeshAnalyzer().getMarkingAreas(mesh.get(), options.label, areas);

    if (options.json) {
        nlohmann::ordered_json report = jsonHead("areas", options, *mesh);
        report["selected_faces"] = selected;
        report["areas"] = nlohmann::ordered_json::array();
        for (const Analysis::MarkingRegion& region : areas.regions)
            report["areas"].push_back({{"id", region.id},
                                       {"name", region.name},
                                       {"faces", region.faceIndices},
                                       {"loops", region.boundaryLoops}});
        report["seconds"] = clock.seconds();
        printJson(report);
        return 0;
    }
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh->faces.size()))
        .add("selected", std::to_string(selected) + " faces")
        .add("areas", std::to_string(areas.regions.size()) + " labelled \"" + options.label + "\"");
    summary.print(std::cout);
    if (areas.regions.empty()) return 0;
    Table table({"id", "faces", "area mm²", "loops", "loop lengths (vertices)"}, {true, true, true, true, false});
    for (const Analysis::MarkingRegion& region : areas.regions) {
        std::string lengths;
        for (const std::vector<unsigned>& loop : region.boundaryLoops)
            lengths += (lengths.empty() ? "" : ", ") + std::to_string(loop.size() - 1);
        table.addRow({std::to_string(region.id), std::to_string(region.faceIndices.size()),
                      formatNumber(patchArea(*mesh, region.faceIndices)), std::to_string(region.boundaryLoops.size()),
                      lengths});
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
        ->type_name("MIN MAX")
        ->check(CLI::NonNegativeNumber)
        ->excludes(faces);
    command->add_option("--label", options->label, "Name given to every area")
        ->type_name("TEXT")
        ->capture_default_str();
    return {command, [options] { return runAreas(*options); }};
}

} // namespace cli
