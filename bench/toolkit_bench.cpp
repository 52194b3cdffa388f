// SPDX-License-Identifier: MIT
// What the toolkit costs over the host library's own calls: thickness and trapped volume through
// meshprobe::thickness / trappedVolumes against MeshAnalyzer / VoxelizerTrapVolume called directly (both
// sides build the host mesh from the same flat arrays, as a caller holding arrays must; the toolkit's
// thickness on 1 and 2 threads, the direct call on one). Also the
// trapped-volume call at small resolutions with one and two threads, which sets the toolkit's serial
// threshold.
//
// Mesh: --mesh FILE (any format the toolkit reads), or a closed ball of ~100k triangles with a sealed void.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/MeshAnalyzer.h"
#include "common/HostMesh.h"
#include "meshprobe/Import.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/TrappedVolumes.h"
#include "bench/BenchSupport.h"
#include "tests/support/TestMeshes.h"
#include "trapvolume/VoxelizerTrapVolume.h"

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

constexpr float thicknessMax = 2.0f;

std::string meshName()
{
    return bench::meshFile().empty() ? std::string("ballWithVoid100k") : bench::meshFile();
}

void ThicknessDirect(benchmark::State& state)
{
    const meshprobe::Mesh& m = benchMesh();
    for (auto _ : state) {
        const auto mesh = makeMesh(m.vertices, m.triangles);
        std::vector<unsigned char[4]> buffer(m.triangleCount() + 1);
        Analysis::MeshAnalyzer().statvis_calc_thickness(mesh.get(), nullptr, 0.0f, thicknessMax, 31,
                                                        Analysis::MeshAnalyzer::Select, buffer.data(), {});
        std::vector<float> values(m.triangleCount());
        std::memcpy(values.data(), buffer.data(), 4 * values.size());
        benchmark::DoNotOptimize(values.data());
    }
    bench::describe(state, meshName(), m.triangleCount(), 1, 31.0 * double(m.triangleCount()), "rays/s");
}

void ThicknessToolkit(benchmark::State& state)
{
    meshprobe::ThicknessOptions options;
    options.max = thicknessMax;
    options.threads = static_cast<int>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(meshprobe::thickness(benchMesh(), options).perFace.data());
    bench::describe(state, meshName(), benchMesh().triangleCount(), options.threads,
                    31.0 * double(benchMesh().triangleCount()), "rays/s");
}

void TrappedDirect(benchmark::State& state)
{
    const meshprobe::Mesh& m = benchMesh();
    const int resolution = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    for (auto _ : state) {
        MeshKernel kernel(std::shared_ptr<UMesh<float>>(makeMesh(m.vertices, m.triangles)));
        VoxelizerTrapVolume voxelizer(resolution, &kernel);
        voxelizer.voxelize(threads, {});
        std::vector<float> volumes;
        for (UMesh<float>* cavity : voxelizer.trappedVolume2Mesh(volumes, {}))
            delete cavity;
        benchmark::DoNotOptimize(volumes.data());
    }
    omp_set_num_threads(saved);
    bench::describe(state, meshName(), m.triangleCount(), threads);
}

void TrappedToolkit(benchmark::State& state)
{
    meshprobe::TrappedOptions options;
    options.resolution = static_cast<int>(state.range(0));
    options.threads = static_cast<int>(state.range(1));
    for (auto _ : state)
        benchmark::DoNotOptimize(meshprobe::trappedVolumes(benchMesh(), options).cavities.data());
    bench::describe(state, meshName(), benchMesh().triangleCount(), options.threads);
}

} // namespace

BENCHMARK(ThicknessDirect)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ThicknessToolkit)->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(TrappedDirect)->ArgsProduct({{256}, {2}})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(TrappedToolkit)->ArgsProduct({{256}, {2}})->UseRealTime()->Unit(benchmark::kMillisecond);
// The serial threshold: direct calls, small grids, one and two threads.
BENCHMARK(TrappedDirect)->ArgsProduct({{16, 32, 48, 64, 128}, {1, 2}})->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv, [] {
        if (!bench::meshFile().empty()) benchMesh() = meshprobe::loadMesh(bench::meshFile());
    });
}
