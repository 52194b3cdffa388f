// SPDX-License-Identifier: MIT
// Wall thickness on thin-walled sphere shells of about 50k and 1.2M triangles: face tree build, the
// whole analysis, and the analysis's rays cast through our face tree and through Embree 3 single-ray
// closest-hit queries (the yardstick), all on one thread.
#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "analysis/FaceTree.h"
#include "analysis/MeshAnalyzer.h"
#include "analysis/SamplePatterns.h"
#include "tests/support/TestMeshes.h"

namespace {

// Outer radius 10, inner 9.5: a wall 0.5 thick; rings x segments per sphere.
struct ShellSize {
    int rings;
    int segments;
};
constexpr ShellSize shellSizes[] = {{100, 125}, {500, 600}}; // about 50k and 1.2M triangles

UMesh<float>& shell(int sizeIndex)
{
    static std::map<int, std::unique_ptr<UMesh<float>>> cache;
    auto& mesh = cache[sizeIndex];
    if (!mesh) {
        const ShellSize s = shellSizes[sizeIndex];
        testmesh::Soup soup = testmesh::sphere(0, 0, 0, 10.0f, s.rings, s.segments);
        soup.appendFlipped(testmesh::sphere(0, 0, 0, 9.5f, s.rings, s.segments));
        mesh = soup.build();
    }
    return *mesh;
}

float boxDiagonal(const UMesh<float>& mesh)
{
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (const UVertex<float>* v : mesh.vertices)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::fmin(lo[a], v->P()[a]);
            hi[a] = std::fmax(hi[a], v->P()[a]);
        }
    const float d[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

/// The analysis's rays: per face, one origin per folded sample (or the centroid from 32 samples on),
/// moved 2e-5 along the inward normal.
class AnalysisRays {
public:
    explicit AnalysisRays(int sampleCount) : fromCentroid(sampleCount >= 32)
    {
        if (fromCentroid) return;
        samples.resize(static_cast<std::size_t>(sampleCount));
        Analysis::jitterSamples(samples.data(), sampleCount);
        for (Analysis::SamplePoint& s : samples) {
            float u = s.x + 0.5f, v = s.y + 0.5f;
            if (u + v > 1.0f) {
                u = 1.0f - u;
                v = 1.0f - v;
            }
            s.x = std::fmin(std::fmax(u, 0.0f), 1.0f);
            s.y = std::fmin(std::fmax(v, 0.0f), 1.0f);
        }
    }
    std::size_t perFace() const { return fromCentroid ? 1 : samples.size(); }

    /// Calls cast(origin, direction) for every ray of the face.
    template <typename Cast> void forFace(const UTriangle<float>& face, Cast&& cast) const
    {
        const float* p[3] = {&face.P(0)[0], &face.P(1)[0], &face.P(2)[0]};
        const float a[3] = {p[2][0] - p[1][0], p[2][1] - p[1][1], p[2][2] - p[1][2]};
        const float b[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        float d[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        const float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        for (float& c : d)
            c = length > 0.0f ? c / length : 0.0f;
        for (std::size_t s = 0; s < perFace(); ++s) {
            float o[3];
            for (int k = 0; k < 3; ++k) {
                o[k] = fromCentroid
                           ? ((p[0][k] + p[1][k]) + p[2][k]) / 3.0f
                           : ((p[1][k] - p[0][k]) * samples[s].x + p[0][k]) + (p[2][k] - p[0][k]) * samples[s].y;
                o[k] += d[k] * 2e-5f;
            }
            cast(o, d);
        }
    }

private:
    bool fromCentroid;
    std::vector<Analysis::SamplePoint> samples;
};

void BM_FaceTreeBuild(benchmark::State& state)
{
    UMesh<float>& mesh = shell(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Analysis::FaceTree tree;
        Analysis::buildFaceTree(tree, &mesh, 0, nullptr, false);
        benchmark::DoNotOptimize(tree.tree->branchCount);
        Analysis::freeFaceTree(tree);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mesh.faces.size()));
    state.counters["faces"] = static_cast<double>(mesh.faces.size());
}

void BM_ThicknessAnalysis(benchmark::State& state)
{
    UMesh<float>& mesh = shell(static_cast<int>(state.range(0)));
    const int samples = static_cast<int>(state.range(1));
    const float max = boxDiagonal(mesh);
    std::vector<unsigned char> colours(4 * mesh.faces.size());
    Analysis::MeshAnalyzer analyzer;
    for (auto _ : state) {
        auto result = analyzer.statvis_calc_thickness(&mesh, nullptr, 0.0f, max, samples, Analysis::MeshAnalyzer::Color,
                                                      reinterpret_cast<unsigned char(*)[4]>(colours.data()), {});
        benchmark::DoNotOptimize(result.status);
    }
    // Answer: faces coloured as inside the window (not the "nothing found" colour).
    std::size_t found = 0;
    for (std::size_t i = 0; i < mesh.faces.size(); ++i)
        found += colours[4 * i + 2] != 128 ? 1 : 0;
    const std::size_t rays = mesh.faces.size() * AnalysisRays(samples).perFace();
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rays));
    state.counters["facesFound"] = static_cast<double>(found);
}

/// The same rays with the full distance (the box diagonal) each, through the face tree.
void BM_RaysFaceTree(benchmark::State& state)
{
    UMesh<float>& mesh = shell(static_cast<int>(state.range(0)));
    const AnalysisRays rays(static_cast<int>(state.range(1)));
    const float max = boxDiagonal(mesh);
    Analysis::FaceTree tree;
    Analysis::buildFaceTree(tree, &mesh, 0, nullptr, false);
    std::size_t hits = 0;
    double distanceSum = 0.0;
    for (auto _ : state) {
        hits = 0;
        distanceSum = 0.0;
        for (const UTriangle<float>* face : mesh.faces)
            rays.forFace(*face, [&](const float* o, const float* d) {
                float t = max;
                if (Analysis::castFaceRay(tree, o, d, 0.0f, &t, nullptr, nullptr)) {
                    ++hits;
                    distanceSum += t;
                }
            });
    }
    Analysis::freeFaceTree(tree);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mesh.faces.size() * rays.perFace()));
    state.counters["hits"] = static_cast<double>(hits);
    state.counters["distanceSum"] = distanceSum;
}

/// The same rays through Embree 3, single-ray closest hit.
void BM_RaysEmbree(benchmark::State& state)
{
    UMesh<float>& mesh = shell(static_cast<int>(state.range(0)));
    const AnalysisRays rays(static_cast<int>(state.range(1)));
    const float max = boxDiagonal(mesh);
    RTCDevice device = rtcNewDevice("threads=1");
    RTCScene scene = rtcNewScene(device);
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                                 3 * sizeof(float), mesh.vertices.size()));
    for (std::size_t v = 0; v < mesh.vertices.size(); ++v)
        for (int a = 0; a < 3; ++a)
            vertices[3 * v + a] = mesh.vertices[v]->P()[a];
    auto* indices = static_cast<unsigned*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                                   3 * sizeof(unsigned), mesh.faces.size()));
    for (std::size_t f = 0; f < mesh.faces.size(); ++f)
        for (int k = 0; k < 3; ++k)
            indices[3 * f + k] = mesh.faces[f]->V(k)->ID();
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(scene);

    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    std::size_t hits = 0;
    double distanceSum = 0.0;
    for (auto _ : state) {
        hits = 0;
        distanceSum = 0.0;
        for (const UTriangle<float>* face : mesh.faces)
            rays.forFace(*face, [&](const float* o, const float* d) {
                RTCRayHit rh{};
                rh.ray.org_x = o[0];
                rh.ray.org_y = o[1];
                rh.ray.org_z = o[2];
                rh.ray.dir_x = d[0];
                rh.ray.dir_y = d[1];
                rh.ray.dir_z = d[2];
                rh.ray.tnear = 0.0f;
                rh.ray.tfar = max;
                rh.ray.mask = 0xFFFFFFFFu;
                rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
                rtcIntersect1(scene, &context, &rh);
                if (rh.hit.geomID != RTC_INVALID_GEOMETRY_ID) {
                    ++hits;
                    distanceSum += rh.ray.tfar;
                }
            });
    }
    rtcReleaseScene(scene);
    rtcReleaseDevice(device);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mesh.faces.size() * rays.perFace()));
    state.counters["hits"] = static_cast<double>(hits);
    state.counters["distanceSum"] = distanceSum;
}

} // namespace

// Size index 0 (about 50k triangles) first, so that a single quick run takes the small case.
BENCHMARK(BM_FaceTreeBuild)->ArgName("size")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThicknessAnalysis)
    ->ArgNames({"size", "samples"})
    ->ArgsProduct({{0, 1}, {1, 8, 31}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_RaysFaceTree)
    ->ArgNames({"size", "samples"})
    ->ArgsProduct({{0, 1}, {1, 8, 31}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_RaysEmbree)
    ->ArgNames({"size", "samples"})
    ->ArgsProduct({{0, 1}, {1, 8, 31}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
