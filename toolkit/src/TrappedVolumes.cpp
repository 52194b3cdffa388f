// SPDX-License-Identifier: MIT
// Trapped volumes through VoxelizerTrapVolume: placement for the build direction, a per-call OpenMP team,
// the grid's voxel size, and the cavity meshes brought back to the model's frame with their voxel counts.
#include "meshprobe/TrappedVolumes.h"

#include <omp.h>

#include <cmath>
#include <memory>
#include <mutex>

#include "meshprobe/Error.h"
#include "meshprobe/Threads.h"
#include "toolkit/src/CallGuards.h"
#include "toolkit/src/HostMeshBridge.h"
#include "toolkit/src/Placement.h"
#include "toolkit/src/StdoutCapture.h"
#include "toolkit/src/TrappedGrid.h"
#include "trapvolume/VoxelizerTrapVolume.h"

namespace meshprobe {

namespace detail {

double voxelSizeOf(const UMesh<float>& mesh, const UMatrix4<float>& placement, int resolution)
{
    UBox3<float> box;
    const bool identity = placement.isIdenticalMatrix();
    for (const UVertex<float>* v : mesh.vertices)
        box.Add(identity ? v->P() : v->P() * placement);
    // The grid is the cube over the placed box padded by this margin on every side, cut into resolution
    // voxels per edge, computed in double as the voxelizer sets it up.
    const double lo[3] = {double(box.MinX()) - kGridBoxMargin, double(box.MinY()) - kGridBoxMargin,
                          double(box.MinZ()) - kGridBoxMargin};
    const double hi[3] = {double(box.MaxX()) + kGridBoxMargin, double(box.MaxY()) + kGridBoxMargin,
                          double(box.MaxZ()) + kGridBoxMargin};
    double longest = hi[0] - lo[0];
    if (hi[1] - lo[1] > longest) longest = hi[1] - lo[1];
    if (hi[2] - lo[2] > longest) longest = hi[2] - lo[2];
    return longest / resolution;
}

long long countColumnVoxels(const UMesh<float>& cavity, double voxelHeight)
{
    long long voxels = 0;
    for (const UTriangle<float>* column : cavity.faces)
        voxels += std::llround((double(column->P(2)[2]) - column->P(0)[2]) / voxelHeight);
    return voxels;
}

int threadsForCall(int requested, int resolution)
{
    if (resolution < kSerialBelowResolution) return 1;
    return requested > 0 ? requested : defaultThreadCount();
}

} // namespace detail

namespace {

void checkOptions(const TrappedOptions& options)
{
    if (options.resolution < 1 || options.resolution > 1290)
        throw InputError("resolution " + std::to_string(options.resolution) + " is outside 1..1290");
    if (options.threads < 0) throw InputError("threads " + std::to_string(options.threads) + " is negative");
}

/// The voxelizer prints its message on standard output when the grid cannot be set up. Standard output is
/// shared by the whole process, so one set-up at a time diverts it.
std::unique_ptr<VoxelizerTrapVolume> setUpGrid(int resolution, MeshKernel& kernel)
{
    static std::mutex stdoutDiversion;
    const std::lock_guard<std::mutex> lock(stdoutDiversion);
    detail::StdoutCapture capture;
    const auto failure = [resolution](const std::string& why) {
        return Error("cannot set up a " + std::to_string(resolution) +
                     "³ voxel grid: " + why.substr(0, why.find_last_not_of('\n') + 1));
    };
    std::unique_ptr<VoxelizerTrapVolume> voxelizer;
    try {
        voxelizer = std::make_unique<VoxelizerTrapVolume>(resolution, &kernel);
    } catch (const std::exception& e) {
        // The ray intersector is made after the grid; when memory ran out for the grid it usually fails too,
        // and the grid's own message says more.
        const std::string message = capture.take();
        throw failure(message.empty() ? e.what() : message);
    }
    const std::string message = capture.take();
    if (!message.empty()) throw failure(message);
    return voxelizer;
}

} // namespace

TrappedResult trappedVolumes(const MeshView& view, const TrappedOptions& options)
{
    checkOptions(options);
    const std::shared_ptr<UMesh<float>> mesh = detail::toHostMesh(view);
    const UMatrix4<float> placement = detail::placementForUp(options.up);

    TrappedResult result;
    result.resolution = options.resolution;
    result.up = options.up;
    result.threads = detail::threadsForCall(options.threads, options.resolution);
    result.voxelSize = detail::voxelSizeOf(*mesh, placement, options.resolution);

    MeshKernel kernel(mesh, placement);
    const std::unique_ptr<VoxelizerTrapVolume> voxelizer = setUpGrid(options.resolution, kernel);

    std::vector<float> volumes;
    std::vector<UMesh<float>*> meshes;
    {
        const detail::OmpThreadScope team(result.threads);
        detail::translateHostErrors("trapped volumes", [&] {
            voxelizer->voxelize(result.threads, detail::hostProgress(options.progress, 0.0f, 90.0f));
        });
        detail::reportOrCancel(options.progress, 90.0f); // the phases' last reports fall short by design
        meshes = detail::translateHostErrors("cavity meshes failed", [&] {
            return voxelizer->trappedVolume2Mesh(volumes, detail::hostProgress(options.progress, 90.0f, 100.0f));
        });
    }
    // The meshes are ours from here: own them before anything else can throw.
    std::vector<std::unique_ptr<UMesh<float>>> owned;
    owned.reserve(meshes.size());
    for (UMesh<float>* m : meshes)
        owned.emplace_back(m);

    const UMatrix4<float> back = detail::inversePlacementForUp(options.up);
    result.cavities.reserve(owned.size());
    for (std::size_t c = 0; c < owned.size(); ++c) {
        Cavity cavity;
        cavity.name = owned[c]->GetName();
        cavity.volume = volumes.at(c);
        cavity.voxels = detail::countColumnVoxels(*owned[c], result.voxelSize);
        cavity.triangleCount = owned[c]->faces.size();
        if (options.cavityMeshes) cavity.mesh = detail::fromHostMesh(*owned[c], back);
        owned[c].reset();                      // one copy of each cavity at a time
        result.trappedVolume += cavity.volume; // in float, in list order, as the voxelizer's own count sums
        result.trappedVoxels += cavity.voxels;
        result.cavities.push_back(std::move(cavity));
    }
    detail::reportOrCancel(options.progress, 100.0f);
    return result;
}

} // namespace meshprobe
