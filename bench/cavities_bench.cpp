// SPDX-License-Identifier: MIT
// What locating, surfacing and drilling cavities costs on top of the trapped-volume analysis, for an axis
// and an oblique build direction, and the orientation search over 6 and 26 directions on two threads.
//
// Mesh: --mesh FILE (any format the toolkit reads), or a closed ball of ~100k triangles with a sealed void.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "meshprobe/Cavities.h"
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

int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mesh") == 0 && i + 1 < argc) {
            benchMesh() = meshprobe::loadMesh(argv[++i]);
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
