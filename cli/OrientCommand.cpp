// SPDX-License-Identifier: MIT
// `meshprobe orient`: the trapped-volume analysis over many build directions, best first.
#include "meshprobe/Threads.h"

#include <iostream>

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

namespace cli {

namespace {

struct OrientOptions : CommonOptions {
    int resolution = 256;
    int threads = meshprobe::defaultThreadCount();
    int directions = 26;
    MeshCheckOptions checks;
};

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
    analysis.progress = progress.stage("trying " + std::to_string(options.directions) + " directions", 0, 100);
    const meshprobe::OrientResult result = meshprobe::orient(mesh, analysis);
    progress.clear();

    if (options.json) {
        nlohmann::ordered_json report = jsonHead("orient", options, mesh);
        addWarningsJson(report, checked, options.checks);
        report["resolution"] = options.resolution;
        report["directions"] = nlohmann::ordered_json::array();
        for (const meshprobe::OrientCandidate& c : result.candidates)
            report["directions"].push_back({{"up", meshprobe::formatDirection(c.up)},
                                            {"up_vector", {c.up[0], c.up[1], c.up[2]}},
                                            {"trapped_volume", shortestDouble(c.trappedVolume)},
                                            {"estimated_volume", c.estimatedVolume},
                                            {"trapped_voxels", c.trappedVoxels},
                                            {"cavities", c.cavities},
                                            {"voxel_size", c.voxelSize},
                                            {"resolution", c.resolution}});
        report["seconds"] = clock.seconds();
        printJson(report);
        return exitCodeFor(checked, options.checks);
    }
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.triangleCount()))
        .add("units", unitLine(options))
        .add("grid", std::to_string(options.resolution) + "³ voxels per direction")
        .add("directions", std::to_string(result.candidates.size()) +
                               ", best first (least estimated trapped volume, then fewest cavities)");
    if (!result.candidates.empty())
        summary.add("best", "--up " + meshprobe::formatDirection(result.candidates.front().up) + "  (" + "about " +
                                formatVolume(result.candidates.front().estimatedVolume) + " trapped)");
    summary.print(std::cout);
    Table table({"rank", "--up", "estimate mm³", "voxel mm³", "cavities", "voxels"},
                {true, false, true, true, true, true});
    for (std::size_t i = 0; i < result.candidates.size(); ++i) {
        const meshprobe::OrientCandidate& c = result.candidates[i];
        table.addRow({std::to_string(i + 1), meshprobe::formatDirection(c.up), "~" + formatNumber(c.estimatedVolume, 5),
                      formatNumber(c.trappedVolume), std::to_string(c.cavities), std::to_string(c.trappedVoxels)});
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
    addMeshCheckOptions(*command, options->checks);
    return {command, [options] { return runOrient(*options); }};
}

} // namespace cli
