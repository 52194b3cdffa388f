// SPDX-License-Identifier: MIT
// The cavity analysis (what `meshprobe trapped` runs) against OpenVDB's narrow-band level set of the same
// mesh at the same voxel size, in the same process and on the same number of threads: OpenVDB's
// meshToLevelSet is the usual general-purpose way to voxelize a part, so it is the yardstick.
//
// Counters: ours_s (findCavities), openvdb_s (meshToLevelSet, half width 3 voxels, TBB limited to the same
// threads), load_s (reading the --mesh file as the tool does; 0 for the generated mesh), voxel_size,
// ratio = openvdb_s / ours_s, and ratio_with_load = (load_s + openvdb_s) / (load_s + ours_s), the two
// whole processes. Built only where OpenVDB is installed.
#include <benchmark/benchmark.h>
#include <openvdb/openvdb.h>
#include <openvdb/tools/MeshToVolume.h>
#include <tbb/global_control.h>

#include <chrono>
#include <memory>
#include <vector>

#include "bench/BenchSupport.h"
#include "meshprobe/Cavities.h"
#include "meshprobe/Import.h"
#include "tests/support/TestMeshes.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

/// Arguments: resolution, threads.
void TrappedVsLevelSet(benchmark::State& state, const bench::NamedMesh* named)
{
    const meshprobe::MeshView mesh{named->soup.positions.data(), named->soup.positions.size() / 3,
                                   named->soup.indices.data(), named->triangles()};
    // OpenVDB's own arrays are made once, outside the timing: the tool's arrays would be handed over as they are.
    std::vector<openvdb::Vec3s> points(mesh.vertexCount);
    for (std::size_t v = 0; v < mesh.vertexCount; ++v)
        points[v] = openvdb::Vec3s(mesh.vertices[3 * v], mesh.vertices[3 * v + 1], mesh.vertices[3 * v + 2]);
    std::vector<openvdb::Vec3I> triangles(mesh.triangleCount);
    for (std::size_t t = 0; t < mesh.triangleCount; ++t)
        triangles[t] = openvdb::Vec3I(mesh.triangles[3 * t], mesh.triangles[3 * t + 1], mesh.triangles[3 * t + 2]);

    meshprobe::CavityOptions options;
    options.resolution = static_cast<int>(state.range(0));
    options.threads = static_cast<int>(state.range(1));
    const tbb::global_control threadLimit(tbb::global_control::max_allowed_parallelism,
                                          static_cast<std::size_t>(options.threads));

    double load = 0.0, ours = 0.0, theirs = 0.0, voxelSize = 0.0, activeVoxels = 0.0;
    for (auto _ : state) {
        if (!bench::meshFile().empty()) {
            const Clock::time_point start = Clock::now();
            benchmark::DoNotOptimize(meshprobe::loadMesh(bench::meshFile()).triangles.data());
            load += secondsSince(start);
        }
        Clock::time_point start = Clock::now();
        const meshprobe::CavitiesResult result = meshprobe::findCavities(mesh, options);
        ours += secondsSince(start);
        voxelSize = result.voxelSize;

        start = Clock::now();
        const openvdb::math::Transform::Ptr transform = openvdb::math::Transform::createLinearTransform(voxelSize);
        const openvdb::FloatGrid::Ptr grid =
            openvdb::tools::meshToLevelSet<openvdb::FloatGrid>(*transform, points, triangles, 3.0f);
        theirs += secondsSince(start);
        activeVoxels = static_cast<double>(grid->activeVoxelCount());
    }
    const double runs = static_cast<double>(state.iterations());
    bench::describe(state, named->name, named->triangles(), options.threads);
    state.counters["load_s"] = load / runs;
    state.counters["ours_s"] = ours / runs;
    state.counters["openvdb_s"] = theirs / runs;
    state.counters["voxel_size"] = voxelSize;
    state.counters["openvdb_active_voxels"] = activeVoxels;
    state.counters["ratio"] = theirs / ours;
    state.counters["ratio_with_load"] = (load + theirs) / (load + ours);
}

} // namespace

int main(int argc, char** argv)
{
    openvdb::initialize();
    static std::unique_ptr<bench::NamedMesh> mesh;
    return bench::runBenchmarks(argc, argv, [] {
        if (!bench::meshFile().empty()) {
            mesh = std::make_unique<bench::NamedMesh>(bench::fileMesh());
        } else {
            testmesh::Soup ball = testmesh::sphere(0, 0, 0, 10, 160, 310);
            ball.appendFlipped(testmesh::sphere(1, 0.5f, -0.5f, 5, 40, 80));
            mesh = std::make_unique<bench::NamedMesh>(bench::NamedMesh{"ball with a void", ball});
        }
        benchmark::RegisterBenchmark(("TrappedVsLevelSet/" + mesh->name).c_str(), TrappedVsLevelSet, mesh.get())
            ->ArgNames({"resolution", "threads"})
            ->ArgsProduct({{64, 512}, {2}})
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    });
}
