// SPDX-License-Identifier: MIT
// Building a UMesh from flat arrays, and its edge topology, at growing sizes.
#include <benchmark/benchmark.h>

#include "host/mesh/MeshFactory.h"
#include "tests/support/TestMeshes.h"

namespace {

// A closed sphere of about `triangles` triangles: 2 * segments * (rings - 1) with segments = 2 * rings.
testmesh::Soup sphereOf(int64_t triangles)
{
    int rings = 2;
    while (4LL * rings * rings < triangles)
        ++rings;
    return testmesh::sphere(0, 0, 0, 1.0f, rings, 2 * rings);
}

void BM_MakeMesh(benchmark::State& state)
{
    const testmesh::Soup soup = sphereOf(state.range(0));
    for (auto _ : state) {
        auto mesh = soup.build();
        benchmark::DoNotOptimize(mesh.get());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(soup.indices.size() / 3));
}

void BM_MakeMeshWithTopology(benchmark::State& state)
{
    const testmesh::Soup soup = sphereOf(state.range(0));
    int64_t borders = 0;
    for (auto _ : state) {
        auto mesh = soup.build();
        mesh->BuildTopo(std::function<void(int)>(), false);
        state.PauseTiming();
        borders = 0;
        for (const auto* f : mesh->faces)
            for (int k = 0; k < 3; ++k)
                borders += f->cFFp(k) == f ? 1 : 0;
        state.ResumeTiming();
        benchmark::DoNotOptimize(mesh.get());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(soup.indices.size() / 3));
    state.counters["triangles"] = static_cast<double>(soup.indices.size() / 3);
    state.counters["border_edges"] = static_cast<double>(borders); // 0 on the closed sphere
}

} // namespace

BENCHMARK(BM_MakeMesh)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeMeshWithTopology)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
