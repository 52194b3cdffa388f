// SPDX-License-Identifier: MIT
// What locating, surfacing and drilling cavities costs on top of the trapped-volume analysis, for an axis
// and an oblique build direction, and the orientation search over 6 and 26 directions on two threads.
//
// Mesh: --mesh FILE (any format the toolkit reads), or a closed ball of ~100k triangles with a sealed void.
// TrappedFromFile times what `meshprobe trapped FILE` does before it prints: reading the file, the mesh
// checks and the analysis, each step on its own (load_s, checks_s, analysis_s; the tool runs the checks
// beside the analysis).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "meshprobe/Cavities.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"
#include "meshprobe/MeshChecks.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/TrappedVolumes.h"
#include "tests/support/TestMeshes.h"

namespace {

meshprobe::Mesh& benchMesh()
{
    static meshprobe::Mesh mesh = [] {
        testmesh::Soup s = testmesh::sphere(0, 0, 0, 10, 160, 310);
        s.appendFlipped(testmesh::sphere(1, 0.5f, -0.5f, 5, 40, 80));
        return meshprobe::Mesh{s.positions, s.indices};
    }();
    return mesh;
}

/// The analysis alone, as the baseline of the two below.
void TrappedOnly(benchmark::State& state)
{
    meshprobe::TrappedOptions options;
    options.resolution = static_cast<int>(state.range(0));
    options.threads = 2;
    for (auto _ : state)
        benchmark::DoNotOptimize(meshprobe::trappedVolumes(benchMesh(), options).cavities.data());
}

/// Arguments: resolution, oblique up (0: +z, 1: 0,0.2,1), surfaces and drain holes (0 or 1).
void Cavities(benchmark::State& state)
{
    meshprobe::CavityOptions options;
    options.resolution = static_cast<int>(state.range(0));
    options.up = meshprobe::parseDirection(state.range(1) ? "0,0.2,1" : "+z");
    options.threads = 2;
    options.solids = state.range(2) != 0;
    options.drainHoleDiameter = state.range(2) ? 1.0 : 0.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(meshprobe::findCavities(benchMesh(), options).cavities.data());
}

void Orient(benchmark::State& state)
{
    meshprobe::OrientOptions options;
    options.resolution = 256;
    options.directions = static_cast<int>(state.range(0));
    options.threads = 2;
    for (auto _ : state)
        benchmark::DoNotOptimize(meshprobe::orient(benchMesh(), options).candidates.data());
}

std::string& meshPath()
{
    static std::string path;
    return path;
}

/// Arguments: resolution, threads.
void TrappedFromFile(benchmark::State& state)
{
    std::string path = meshPath();
    const bool written = path.empty();
    if (written) {
        path = (std::filesystem::temp_directory_path() / "meshprobe-bench-ball.ply").string();
        meshprobe::writeMeshes(path, {{"ball", benchMesh()}});
    }
    meshprobe::CavityOptions options;
    options.resolution = static_cast<int>(state.range(0));
    options.threads = static_cast<int>(state.range(1));
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double>(to - from).count();
    };
    double load = 0.0, checks = 0.0, analysis = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const meshprobe::Mesh mesh = meshprobe::loadMesh(path);
        const Clock::time_point loaded = Clock::now();
        benchmark::DoNotOptimize(meshprobe::checkMesh(mesh).data());
        const Clock::time_point checked = Clock::now();
        benchmark::DoNotOptimize(meshprobe::findCavities(mesh, options).cavities.data());
        load += seconds(start, loaded);
        checks += seconds(loaded, checked);
        analysis += seconds(checked, Clock::now());
    }
    if (written) std::filesystem::remove(path);
    const double runs = static_cast<double>(state.iterations());
    state.counters["load_s"] = load / runs;
    state.counters["checks_s"] = checks / runs;
    state.counters["analysis_s"] = analysis / runs;
}

void MeshChecks(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(meshprobe::checkMesh(benchMesh()).data());
}

} // namespace

BENCHMARK(TrappedOnly)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(Cavities)->ArgsProduct({{256}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(Orient)->Arg(6)->Arg(26)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(MeshChecks)->Unit(benchmark::kMillisecond);
BENCHMARK(TrappedFromFile)->ArgsProduct({{64, 512}, {1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mesh") == 0 && i + 1 < argc) {
            meshPath() = argv[++i];
            benchMesh() = meshprobe::loadMesh(meshPath());
            continue;
        }
        args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
