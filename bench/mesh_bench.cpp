// SPDX-License-Identifier: MIT
// Mesh files and mesh objects: importing a file (per format), building a UMesh from flat arrays, and its
// edge topology.
//
// Meshes: --mesh FILE (imported in its own format, then built), or closed spheres of about 100k and 1M
// triangles (imported from STL, OBJ and PLY files the benchmark writes first into the system's temporary
// folder).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "host/mesh/MeshFactory.h"
#include "meshprobe/Export.h"

namespace {

// A closed sphere of about `triangles` triangles: 2 * segments * (rings - 1) with segments = 2 * rings.
bench::NamedMesh sphereOf(int64_t triangles)
{
    int rings = 2;
    while (4LL * rings * rings < triangles)
        ++rings;
    testmesh::Soup soup = testmesh::sphere(0, 0, 0, 1.0f, rings, 2 * rings);
    return {"sphere-" + std::to_string(soup.indices.size() / 3000) + "k", soup};
}

/// meshprobe::loadMesh of a file: import, welding, checks. peak_MiB is the process's peak while it ran.
void Import(benchmark::State& state, std::string path, std::string name)
{
    std::size_t triangles = 0;
    bench::resetPeakResident();
    for (auto _ : state) {
        const meshprobe::Mesh mesh = meshprobe::loadMesh(path);
        triangles = mesh.triangleCount();
        benchmark::DoNotOptimize(mesh.vertices.data());
    }
    bench::describe(state, name, triangles, 1, static_cast<double>(triangles), "triangles/s");
    state.counters["peak_MiB"] = bench::peakResidentMiB();
}

void MakeMesh(benchmark::State& state, const bench::NamedMesh* named)
{
    for (auto _ : state) {
        auto mesh = named->soup.build();
        benchmark::DoNotOptimize(mesh.get());
    }
    bench::describe(state, named->name, named->triangles(), 1, static_cast<double>(named->triangles()), "triangles/s");
}

void MakeMeshWithTopology(benchmark::State& state, const bench::NamedMesh* named)
{
    int64_t borders = 0;
    for (auto _ : state) {
        auto mesh = named->soup.build();
        mesh->BuildTopo(std::function<void(int)>(), false);
        state.PauseTiming();
        borders = 0;
        for (const auto* f : mesh->faces)
            for (int k = 0; k < 3; ++k)
                borders += f->cFFp(k) == f ? 1 : 0;
        state.ResumeTiming();
        benchmark::DoNotOptimize(mesh.get());
    }
    bench::describe(state, named->name, named->triangles(), 1, static_cast<double>(named->triangles()), "triangles/s");
    state.counters["border_edges"] = static_cast<double>(borders); // 0 on a closed mesh
}

} // namespace

int main(int argc, char** argv)
{
    static std::vector<std::unique_ptr<bench::NamedMesh>> meshes;
    return bench::runBenchmarks(argc, argv, [] {
        const bool fromFile = !bench::meshFile().empty();
        if (fromFile) {
            meshes.push_back(std::make_unique<bench::NamedMesh>(bench::fileMesh()));
        } else {
            meshes.push_back(std::make_unique<bench::NamedMesh>(sphereOf(100000)));
            meshes.push_back(std::make_unique<bench::NamedMesh>(sphereOf(1000000)));
        }
        for (const auto& mesh : meshes) {
            benchmark::RegisterBenchmark(("MakeMesh/" + mesh->name).c_str(), MakeMesh, mesh.get())
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("MakeMeshWithTopology/" + mesh->name).c_str(), MakeMeshWithTopology,
                                         mesh.get())
                ->Unit(benchmark::kMillisecond);
        }
        if (fromFile) {
            benchmark::RegisterBenchmark("Import/file", Import, bench::meshFile(), bench::meshFile())
                ->Unit(benchmark::kMillisecond);
            return;
        }
        // The generated spheres written once per format, then imported.
        const std::filesystem::path folder = std::filesystem::temp_directory_path();
        for (const auto& mesh : meshes)
            for (const char* extension : {".stl", ".obj", ".ply"}) {
                const std::string path = (folder / ("meshprobe-bench-" + mesh->name + extension)).string();
                benchmark::RegisterBenchmark(("Import/" + mesh->name + extension).c_str(),
                                             [path, mesh = mesh.get()](benchmark::State& state) {
                                                 meshprobe::writeMeshes(path, {{"sphere", mesh->soup.view()}});
                                                 Import(state, path,
                                                        mesh->name + std::string(path.substr(path.rfind('.'))));
                                                 std::filesystem::remove(path);
                                             })
                    ->Unit(benchmark::kMillisecond);
            }
    });
}
