// SPDX-License-Identifier: MIT
// `meshprobe trapped`: air that cannot drain when the part is printed in a given build direction.
#include <omp.h>

#include <iostream>

#include "cli/Commands.h"
#include "cli/CommonOptions.h"
#include "cli/InputMesh.h"
#include "cli/Interrupt.h"
#include "cli/NumberRange.h"
#include "cli/JsonHead.h"
#include "cli/OutputFile.h"
#include "cli/ProgressBar.h"
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"
#include "meshprobe/TrappedVolumes.h"

namespace cli {

namespace {

struct TrappedOptions : CommonOptions {
    int resolution = 256;
    int threads = omp_get_num_procs();
    std::string up = "+z";
    std::string cavitiesPath;
};

void writeCavities(const std::string& path, const std::vector<meshprobe::Cavity>& cavities)
{
    std::vector<meshprobe::NamedMesh> named;
    for (size_t c = 0; c < cavities.size(); ++c)
        named.push_back({cavities[c].name + "-" + std::to_string(c + 1), cavities[c].mesh});
    meshprobe::writeMeshes(path, named, {cancelOnInterrupt()});
}

int runTrapped(const TrappedOptions& options)
{
    const Stopwatch clock;
    if (!options.cavitiesPath.empty()) checkOutputOption(options.cavitiesPath, "--cavities", false, options);
    const meshprobe::Mesh mesh = loadInputMesh(options);
    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    meshprobe::TrappedOptions analysis;
    analysis.resolution = options.resolution;
    analysis.up = meshprobe::parseBuildDirection(options.up);
    analysis.threads = options.threads;
    analysis.cavityMeshes = !options.cavitiesPath.empty();
    analysis.progress = progress.phases({{90.0f, "voxelizing"}, {100.0f, "meshing cavities"}}, 0, 100);
    const meshprobe::TrappedResult result = meshprobe::trappedVolumes(mesh, analysis);
    const std::vector<meshprobe::Cavity>& cavities = result.cavities;
    if (!options.cavitiesPath.empty()) {
        progress.stage("writing " + options.cavitiesPath, 100, 100)(100);
        writeCavities(options.cavitiesPath, cavities);
    }
    progress.clear();

    if (options.json) {
        nlohmann::ordered_json report = jsonHead("trapped", options, mesh);
        report["resolution"] = options.resolution;
        report["voxel_size"] = result.voxelSize;
        report["up"] = options.up;
        report["trapped_voxels"] = result.trappedVoxels;
        report["trapped_volume"] = shortestDouble(result.trappedVolume);
        report["cavities"] = nlohmann::ordered_json::array();
        for (const meshprobe::Cavity& cavity : cavities)
            report["cavities"].push_back({{"name", cavity.name},
                                          {"volume", shortestDouble(cavity.volume)},
                                          {"voxels", cavity.voxels},
                                          {"triangles", cavity.triangleCount}});
        if (!options.cavitiesPath.empty()) report["files"] = {{"cavities", options.cavitiesPath}};
        report["seconds"] = clock.seconds();
        printJson(report);
        return 0;
    }
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.triangleCount()))
        .add("units", unitLine(options))
        .add("grid", std::to_string(options.resolution) + "³ voxels of " + formatNumber(result.voxelSize, 4) +
                         " mm, up " + options.up + ", " + std::to_string(result.threads) +
                         (result.threads == 1 ? " thread" : " threads"))
        .add("trapped", std::to_string(result.trappedVoxels) + " voxels, " + formatVolume(result.trappedVolume))
        .add("cavities", std::to_string(cavities.size()) +
                             (cavities.empty() ? "" : "  (Closed: sealed; Open: opens upward or at the part's edge)"));
    if (!options.cavitiesPath.empty()) summary.add("cavity meshes", options.cavitiesPath);
    summary.print(std::cout);
    if (!cavities.empty()) {
        Table table({"#", "kind", "voxels", "volume mm³", "triangles"}, {true, false, true, true, true});
        for (size_t c = 0; c < cavities.size(); ++c)
            table.addRow({std::to_string(c + 1), cavities[c].name, std::to_string(cavities[c].voxels),
                          formatNumber(cavities[c].volume), std::to_string(cavities[c].triangleCount)});
        std::cout << '\n';
        table.print(std::cout);
    }
    return 0;
}

} // namespace

Command addTrappedCommand(CLI::App& app)
{
    auto options = std::make_shared<TrappedOptions>();
    CLI::App* command =
        app.add_subcommand("trapped", "Air trapped inside the part when printed in the build direction");
    addCommonOptions(*command, *options);
    command->add_option("-r,--resolution", options->resolution, "Voxels along the longest side of the part")
        ->type_name("N")
        ->check(wholeNumberIn(1, 1290))
        ->capture_default_str();
    command->add_option("-j,--threads", options->threads, "Worker threads (default: all cores)")
        ->type_name("T")
        ->check(wholeNumberIn(1, 4096))
        ->capture_default_str();
    command->add_option("--up", options->up, "Build direction: the model axis that points up (+z, -z, +x, -x, +y, -y)")
        ->type_name("AXIS")
        ->check(CLI::IsMember(meshprobe::buildDirectionNames()))
        ->capture_default_str();
    command
        ->add_option("--cavities", options->cavitiesPath,
                     "Write every cavity as a mesh to OUT (.stl, .ply, .obj, .3mf or .glb)")
        ->type_name("OUT")
        ->check(nonEmptyPath());
    addForceOption(*command, *options);
    return {command, [options] { return runTrapped(*options); }};
}

} // namespace cli
