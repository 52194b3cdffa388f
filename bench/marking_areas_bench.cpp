// SPDX-License-Identifier: MIT
// getMarkingAreas on flat grids of up to a million triangles: one large patch with holes, and many tiny areas.
// With --mesh FILE: the file's faces below its mid-height selected (one or a few large areas).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "analysis/MeshAnalyzer.h"
#include "bench/BenchSupport.h"
#include "tests/support/TestMeshes.h"

namespace {

// A grid of nx = 2 * ny quads, about `triangles` triangles.
std::unique_ptr<UMesh<float>> gridOf(int64_t triangles, int& nx, int& ny)
{
    ny = static_cast<int>(std::sqrt(static_cast<double>(triangles) / 4.0));
    nx = 2 * ny;
    return testmesh::quadGrid(nx, ny).build();
}

void selectQuad(UMesh<float>& mesh, int nx, int i, int j)
{
    const int q = j * nx + i;
    mesh.faces[2 * q]->SetS();
    mesh.faces[2 * q + 1]->SetS();
}

// A disc covering most of the grid's height, with a one-quad hole every `holeSpacing` quads in both
// directions (none when 0): one area whose boundary is a staircase circle plus one loop per hole.
std::unique_ptr<UMesh<float>> discWithHoles(int64_t triangles, int holeSpacing)
{
    int nx = 0, ny = 0;
    auto mesh = gridOf(triangles, nx, ny);
    const double cx = nx / 2.0, cy = ny / 2.0, radius = 0.45 * ny;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const double dx = i + 0.5 - cx, dy = j + 0.5 - cy;
            const bool hole = holeSpacing > 0 && i % holeSpacing == 0 && j % holeSpacing == 0;
            if (dx * dx + dy * dy <= radius * radius && !hole) selectQuad(*mesh, nx, i, j);
        }
    return mesh;
}

// Every other quad in a checkerboard: quads meet only at corners, so each is an area of its own.
std::unique_ptr<UMesh<float>> checkerboard(int64_t triangles)
{
    int nx = 0, ny = 0;
    auto mesh = gridOf(triangles, nx, ny);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            if ((i + j) % 2 == 0) selectQuad(*mesh, nx, i, j);
    return mesh;
}

void report(benchmark::State& state, const std::string& name, const UMesh<float>& mesh,
            const Analysis::MarkingArea& last)
{
    int64_t areaFaces = 0, loops = 0, loopEdges = 0;
    for (const Analysis::MarkingRegion& region : last.regions) {
        areaFaces += static_cast<int64_t>(region.faceIndices.size());
        loops += static_cast<int64_t>(region.boundaryLoops.size());
        for (const auto& loop : region.boundaryLoops)
            loopEdges += static_cast<int64_t>(loop.size()) - 1;
    }
    bench::describe(state, name, mesh.faces.size(), 1, static_cast<double>(mesh.faces.size()), "faces/s");
    state.counters["regions"] = static_cast<double>(last.regions.size());
    state.counters["area_faces"] = static_cast<double>(areaFaces);
    state.counters["loops"] = static_cast<double>(loops);
    state.counters["loop_edges"] = static_cast<double>(loopEdges);
}

/// Times getMarkingAreas on the mesh, clearing its topology first (untimed) when `withTopology` is false;
/// the last result feeds the counters.
void timeMarkingAreas(benchmark::State& state, const std::string& name, UMesh<float>& mesh, bool withTopology)
{
    if (withTopology) mesh.BuildTopo(std::function<void(int)>(), false);
    Analysis::MeshAnalyzer analyzer;
    Analysis::MarkingArea last;
    for (auto _ : state) {
        if (!withTopology) {
            state.PauseTiming();
            mesh.ClearTopo();
            state.ResumeTiming();
        }
        Analysis::MarkingArea out;
        analyzer.getMarkingAreas(&mesh, "bench", out);
        benchmark::DoNotOptimize(out.regions.data());
        state.PauseTiming();
        last = std::move(out);
        state.ResumeTiming();
    }
    report(state, name, mesh, last);
}

// The whole call on a mesh whose topology is already built (the usual case after the first call).
void BM_MarkingAreasDisc(benchmark::State& state)
{
    timeMarkingAreas(state, "grid-disc", *discWithHoles(state.range(0), static_cast<int>(state.range(1))), true);
}

// The same call when it has to build the topology first.
void BM_MarkingAreasDiscBuildingTopology(benchmark::State& state)
{
    timeMarkingAreas(state, "grid-disc", *discWithHoles(state.range(0), static_cast<int>(state.range(1))), false);
}

// Many two-face areas: the per-area overhead of growth, region records and tracing.
void BM_MarkingAreasCheckerboard(benchmark::State& state)
{
    timeMarkingAreas(state, "grid-checkerboard", *checkerboard(state.range(0)), true);
}

// The --mesh file with the faces whose centroid lies below the mesh's mid-height selected.
void MarkingAreasFile(benchmark::State& state)
{
    const bench::NamedMesh& file = bench::fileMesh();
    const auto mesh = file.soup.build();
    float lo = 3.4e38f, hi = -3.4e38f;
    for (const UVertex<float>* v : mesh->vertices) {
        lo = std::fmin(lo, v->P()[2]);
        hi = std::fmax(hi, v->P()[2]);
    }
    const float middle = 0.5f * (lo + hi);
    for (UTriangle<float>* f : mesh->faces)
        if (f->P(0)[2] + f->P(1)[2] + f->P(2)[2] < 3.0f * middle) f->SetS();
    timeMarkingAreas(state, file.name, *mesh, state.range(0) != 0);
}

} // namespace

// Arguments: triangles, hole spacing in quads (0: no holes).
BENCHMARK(BM_MarkingAreasDisc)
    ->Args({10000, 0})
    ->Args({1000000, 0})
    ->Args({1000000, 20})
    ->Args({1000000, 4})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkingAreasDiscBuildingTopology)->Args({10000, 20})->Args({1000000, 20})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkingAreasCheckerboard)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv, [] {
        if (bench::meshFile().empty()) return;
        benchmark::ClearRegisteredBenchmarks();
        benchmark::RegisterBenchmark("MarkingAreasFile", MarkingAreasFile)
            ->ArgNames({"topology_built"})
            ->Arg(1)
            ->Arg(0)
            ->Unit(benchmark::kMillisecond);
    });
}
