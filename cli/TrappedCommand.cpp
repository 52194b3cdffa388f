// SPDX-License-Identifier: MIT
// `meshprobe trapped`: air that cannot drain when the part is printed in a given build direction.
#include <omp.h>

#include <cmath>
#include <iostream>

#include "cli/AtomicFile.h"
#include "cli/BuildDirection.h"
#include "cli/CliError.h"
#include "cli/CommandSupport.h"
#include "cli/MeshExport.h"
#include "cli/MeshImport.h"
#include "cli/ProgressBar.h"
#include "cli/StdoutCapture.h"
#include "cli/TextReport.h"
#include "trapvolume/VoxelizerTrapVolume.h"

namespace cli {

namespace {

struct TrappedOptions : CommonOptions {
    int resolution = 256;
    int threads = omp_get_num_procs();
    std::string up = "+z";
    std::string cavitiesPath;
};

struct Cavity {
    std::unique_ptr<UMesh<float>> mesh;
    float volume;
    long long voxels;
};

/// Edge of one voxel, as the voxelizer sets its grid up: a cube over the placed bounding box padded by
/// 0.001 on every side, its edge the longest side, cut into `resolution` voxels.
double voxelEdge(const UMesh<float>& mesh, const UMatrix4<float>& placement, int resolution)
{
    UBox3<float> box;
    for (const UVertex<float>* v : mesh.vertices)
        box.Add(v->P() * placement);
    const double longest =
        std::max({double(box.MaxX()) - box.MinX(), double(box.MaxY()) - box.MinY(), double(box.MaxZ()) - box.MinZ()});
    return (longest + 0.002) / resolution;
}

/// Voxels of a cavity mesh as the voxelizer builds it: one upright triangle per vertical run of voxels, from
/// the run's lower face (corner 0) to its top (corner 2). Counting runs stays exact where the cavity's float
/// volume no longer resolves single voxels (beyond 2^24 voxels).
long long countColumnVoxels(const UMesh<float>& cavity, double voxelHeight)
{
    long long voxels = 0;
    for (const UTriangle<float>* column : cavity.faces)
        voxels += std::llround((double(column->P(2)[2]) - column->P(0)[2]) / voxelHeight);
    return voxels;
}

/// Runs the voxelizer and takes the cavity meshes; the meshes come back in the model's own frame.
std::vector<Cavity> findCavities(const std::shared_ptr<UMesh<float>>& mesh, const TrappedOptions& options,
                                 double voxelHeight, ProgressBar& progress)
{
    MeshKernel kernel(mesh, placementForUp(options.up));
    StdoutCapture capture; // the voxelizer prints its message there when the grid cannot be set up
    VoxelizerTrapVolume voxelizer(options.resolution, &kernel);
    const std::string setUpMessage = capture.take();
    if (!setUpMessage.empty())
        throw AnalysisError("cannot set up a " + std::to_string(options.resolution) +
                            "³ voxel grid: " + setUpMessage.substr(0, setUpMessage.find_last_not_of('\n') + 1));

    omp_set_num_threads(options.threads);
    const auto voxelizing = progress.stage("voxelizing", 0, 90);
    voxelizer.voxelize(options.threads, voxelizing);
    voxelizing(100); // the phases' last reports fall short of 100 by design
    std::vector<float> volumes;
    std::vector<UMesh<float>*> meshes;
    const auto meshing = progress.stage("meshing cavities", 90, 100);
    try {
        meshes = voxelizer.trappedVolume2Mesh(volumes, meshing);
    } catch (const char* message) {
        throw AnalysisError(std::string("cavity meshes failed: ") + message);
    }
    // The meshes are ours from here: own them before anything else can throw.
    std::vector<Cavity> cavities;
    cavities.reserve(meshes.size());
    for (size_t c = 0; c < meshes.size(); ++c)
        cavities.push_back({std::unique_ptr<UMesh<float>>(meshes[c]), volumes.at(c), 0});
    for (Cavity& cavity : cavities)
        cavity.voxels = countColumnVoxels(*cavity.mesh, voxelHeight);
    meshing(100);

    const UMatrix4<float> back = inversePlacementForUp(options.up);
    for (Cavity& cavity : cavities)
        for (UVertex<float>* v : cavity.mesh->vertices)
            v->P() = v->P() * back;
    return cavities;
}

void writeCavities(const std::string& path, const std::vector<Cavity>& cavities)
{
    std::vector<NamedMesh> named;
    for (size_t c = 0; c < cavities.size(); ++c)
        named.push_back({cavities[c].mesh->GetName() + "-" + std::to_string(c + 1), cavities[c].mesh.get()});
    writeMeshes(path, named);
}

int runTrapped(const TrappedOptions& options)
{
    const Stopwatch clock;
    if (!options.cavitiesPath.empty()) {
        checkOutputPath(options.cavitiesPath, "--cavities");
        outputFormatFor(options.cavitiesPath, "--cavities", false);
    }
    const std::shared_ptr<UMesh<float>> mesh = importMesh(options.meshPath);
    const double edge = voxelEdge(*mesh, placementForUp(options.up), options.resolution);
    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    const std::vector<Cavity> cavities = findCavities(mesh, options, edge, progress);
    if (!options.cavitiesPath.empty()) {
        progress.stage("writing " + options.cavitiesPath, 100, 100)(100);
        writeCavities(options.cavitiesPath, cavities);
    }
    progress.clear();

    float trappedVolume = 0.0f; // summed in float, in list order, as the voxelizer's own count does
    long long trappedVoxels = 0;
    for (const Cavity& cavity : cavities) {
        trappedVolume += cavity.volume;
        trappedVoxels += cavity.voxels;
    }

    if (options.json) {
        nlohmann::ordered_json report = jsonHead("trapped", options, *mesh);
        report["resolution"] = options.resolution;
        report["voxel_size"] = edge;
        report["up"] = options.up;
        report["trapped_voxels"] = trappedVoxels;
        report["trapped_volume"] = shortestDouble(trappedVolume);
        report["cavities"] = nlohmann::ordered_json::array();
        for (const Cavity& cavity : cavities)
            report["cavities"].push_back({{"name", cavity.mesh->GetName()},
                                          {"volume", shortestDouble(cavity.volume)},
                                          {"voxels", cavity.voxels},
                                          {"triangles", cavity.mesh->faces.size()}});
        report["seconds"] = clock.seconds();
        printJson(report);
        return 0;
    }
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh->faces.size()))
        .add("grid", std::to_string(options.resolution) + "³ voxels of " + formatNumber(edge, 4) + " mm, up " +
                         options.up + ", " + std::to_string(options.threads) +
                         (options.threads == 1 ? " thread" : " threads"))
        .add("trapped", std::to_string(trappedVoxels) + " voxels, " + formatVolume(trappedVolume))
        .add("cavities", std::to_string(cavities.size()) +
                             (cavities.empty() ? "" : "  (Closed: sealed; Open: opens upward or at the part's edge)"));
    if (!options.cavitiesPath.empty()) summary.add("cavity meshes", options.cavitiesPath);
    summary.print(std::cout);
    if (!cavities.empty()) {
        Table table({"#", "kind", "voxels", "volume mm³", "triangles"}, {true, false, true, true, true});
        for (size_t c = 0; c < cavities.size(); ++c)
            table.addRow({std::to_string(c + 1), cavities[c].mesh->GetName(), std::to_string(cavities[c].voxels),
                          formatNumber(cavities[c].volume), std::to_string(cavities[c].mesh->faces.size())});
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
        ->check(CLI::Range(1, 1290))
        ->capture_default_str();
    command->add_option("-j,--threads", options->threads, "Worker threads (default: all cores)")
        ->type_name("T")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    command->add_option("--up", options->up, "Build direction: the model axis that points up (+z, -z, +x, -x, +y, -y)")
        ->type_name("AXIS")
        ->check(CLI::IsMember(buildDirectionNames()))
        ->capture_default_str();
    command
        ->add_option("--cavities", options->cavitiesPath,
                     "Write every cavity as a mesh to OUT (.stl, .ply, .obj, .3mf or .glb)")
        ->type_name("OUT");
    return {command, [options] { return runTrapped(*options); }};
}

} // namespace cli
