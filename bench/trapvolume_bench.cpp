// SPDX-License-Identifier: MIT
// Trapped-volume benchmarks: voxelize + count per phase, at several resolutions and thread counts.
//
// Meshes: --mesh FILE, or (a) a closed ball of ~100k triangles with a sealed spherical void and (b) a bumpy
// closed ball of ~1.2M triangles standing in for a scan. Counters: seconds per phase, ray-voted voxels, trapped voxels,
// grid memory (the bit sets voxelize and count use) and the process's peak resident memory in the case.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "tests/support/TestMeshes.h"
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

namespace {

const testmesh::Soup& ballWithVoid()
{
    static const testmesh::Soup soup = [] {
        testmesh::Soup s = testmesh::sphere(0, 0, 0, 10, 160, 310);
        s.appendFlipped(testmesh::sphere(1, 0.5f, -0.5f, 5, 40, 80));
        return s;
    }();
    return soup;
}

const testmesh::Soup& bumpyBall()
{
    static const testmesh::Soup soup = [] {
        testmesh::Soup s = testmesh::sphere(0, 0, 0, 10, 775, 775);
        // Radial bumps, so that the surface is not a clean quadric.
        for (std::size_t i = 0; i + 2 < s.positions.size(); i += 3) {
            const float x = s.positions[i], y = s.positions[i + 1], z = s.positions[i + 2];
            const float r = std::sqrt(x * x + y * y + z * z);
            if (r == 0.0f) continue;
            const float scale = 1.0f + 0.04f * std::sin(7.0f * x / r) * std::sin(9.0f * y / r) * std::cos(5.0f * z / r);
            s.positions[i] = x * scale;
            s.positions[i + 1] = y * scale;
            s.positions[i + 2] = z * scale;
        }
        return s;
    }();
    return soup;
}

/// FNV-1a over the words of a bit set, cut to 52 bits so that a counter (a double) holds it exactly: two
/// builds that print the same value for a phase left the same bits.
double bitsHash(const VoxelizerTrapVolumePrivate& grid, const VoxelizerTrapVolumePrivate::VoxelBitSet& bits)
{
    std::uint64_t hash = 1469598103934665603ull;
    for (std::uint32_t w = 0; w < grid.wordCount; ++w) {
        hash ^= bits.get()[w].load(std::memory_order_relaxed);
        hash *= 1099511628211ull;
    }
    return static_cast<double>(hash >> 12);
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void VoxelizeAndCount(benchmark::State& state, const bench::NamedMesh* named)
{
    const int resolution = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    omp_set_num_threads(threads);
    MeshKernel kernel(std::shared_ptr<UMesh<float>>(named->soup.build()));
    double phase[4] = {0, 0, 0, 0};
    double surfaceHash = 0.0;
    double voxelizeHash = 0.0;
    double phaseCpu[4] = {0, 0, 0, 0};
    int trapped = 0;
    std::int64_t voted = 0;
    double gridMiB = 0.0;
    bench::resetPeakResident();
    for (auto _ : state) {
        state.PauseTiming();
        auto grid = std::make_unique<VoxelizerTrapVolumePrivate>(resolution, &kernel);
        gridMiB = 2.0 * grid->wordCount * sizeof(VoxelizerTrapVolumePrivate::VoxelWord) / (1024.0 * 1024.0);
        state.ResumeTiming();
        float volume = 0.0f;
        const std::function<void()> phases[4] = {
            [&] { grid->voxelizeSurface(threads, {}); }, [&] { grid->classifyVoxels(threads, {}); },
            [&] { grid->markDrainable(threads, {}); }, [&] { trapped = grid->getTrappedVolumeCount(volume, {}); }};
        for (int p = 0; p < 4; ++p) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = bench::processCpuSeconds();
            phases[p]();
            phase[p] += secondsSince(start);
            phaseCpu[p] += bench::processCpuSeconds() - cpuStart;
            state.PauseTiming();
            if (p == 0) surfaceHash = bitsHash(*grid, grid->occupiedBits);
            if (p == 2) voxelizeHash = bitsHash(*grid, grid->occupiedBits);
            state.ResumeTiming();
        }
        voted = grid->votedVoxelCount.load();
        benchmark::DoNotOptimize(volume);
        state.PauseTiming();
        grid.reset();
        state.ResumeTiming();
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["surface_s"] = phase[0] / runs;
    state.counters["classify_s"] = phase[1] / runs;
    state.counters["drain_s"] = phase[2] / runs;
    state.counters["count_s"] = phase[3] / runs;
    // CPU seconds of all threads per phase: steady while other processes share the cores.
    state.counters["surface_cpu_s"] = phaseCpu[0] / runs;
    state.counters["classify_cpu_s"] = phaseCpu[1] / runs;
    state.counters["drain_cpu_s"] = phaseCpu[2] / runs;
    state.counters["surface_hash"] = surfaceHash;
    state.counters["voxelize_hash"] = voxelizeHash;
    state.counters["voted"] = static_cast<double>(voted);
    state.counters["trapped"] = trapped;
    state.counters["grid_MiB"] = gridMiB;
    state.counters["peak_MiB"] = bench::peakResidentMiB();
    bench::describe(state, named->name, kernel.getMesh()->faces.size(), threads);
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int n : {128, 256, 512, 1290})
        for (int threads : {1, 2})
            b->Args({n, threads});
    b->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

int main(int argc, char** argv)
{
    static std::vector<std::unique_ptr<bench::NamedMesh>> meshes;
    return bench::runBenchmarks(argc, argv, [] {
        if (!bench::meshFile().empty()) {
            meshes.push_back(std::make_unique<bench::NamedMesh>(bench::fileMesh()));
        } else {
            meshes.push_back(std::make_unique<bench::NamedMesh>(bench::NamedMesh{"ballWithVoid100k", ballWithVoid()}));
            meshes.push_back(std::make_unique<bench::NamedMesh>(bench::NamedMesh{"bumpyBall1200k", bumpyBall()}));
        }
        for (const auto& mesh : meshes)
            benchmark::RegisterBenchmark(("VoxelizeAndCount/" + mesh->name).c_str(), VoxelizeAndCount, mesh.get())
                ->Apply(sizes);
    });
}
