// SPDX-License-Identifier: MIT
// Wall thickness: face tree build; the analysis's rays through our face tree (a face's rays as one packet,
// and ray by ray) and through Embree 3 (closest-hit single rays, and a face's rays as one coherent stream:
// the yardsticks) on the same rays, interleaved slice by slice in one run so that the ratios survive a
// loaded machine, on 1 and 2 threads; the toolkit's multi-threaded ray pass;
// and the library's single-thread call.
//
// Meshes: --mesh FILE, or thin-walled sphere shells of about 50k and 1.2M triangles. Every ray looks as
// far as the mesh box's diagonal (the most work a ray can take).
#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "analysis/FaceRayPacket.h"
#include "analysis/FaceTree.h"
#include "analysis/MeshAnalyzer.h"
#include "analysis/SamplePatterns.h"
#include "bench/BenchSupport.h"
#include "toolkit/src/adapters/ThicknessRayPass.h"

namespace {

// Outer radius 10, inner 9.5: a wall 0.5 thick; rings x segments per sphere.
bench::NamedMesh shell(int rings, int segments)
{
    testmesh::Soup soup = testmesh::sphere(0, 0, 0, 10.0f, rings, segments);
    soup.appendFlipped(testmesh::sphere(0, 0, 0, 9.5f, rings, segments));
    return {"shell-" + std::to_string(soup.indices.size() / 3000) + "k", soup};
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

    /// Calls cast(origins, count, direction) once with all rays of the face (origins: 3 floats per ray).
    template <typename Cast>
    void forFacePacket(const UTriangle<float>& face, std::vector<float>& origins, Cast&& cast) const
    {
        origins.clear();
        float direction[3] = {};
        forFace(face, [&](const float* o, const float* d) {
            origins.insert(origins.end(), o, o + 3);
            std::copy(d, d + 3, direction);
        });
        cast(origins.data(), static_cast<int>(perFace()), static_cast<const float*>(direction));
    }

private:
    bool fromCentroid;
    std::vector<Analysis::SamplePoint> samples;
};

/// Runs work(begin, end) over the faces [from, to) on `threads` threads, in chunks taken in turn.
template <typename Work> void onThreads(int threads, std::size_t from, std::size_t to, Work&& work)
{
    constexpr std::size_t chunk = 256;
    std::atomic<std::size_t> next{from};
    auto run = [&] {
        for (std::size_t begin; (begin = next.fetch_add(chunk)) < to;)
            work(begin, std::min(to, begin + chunk));
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(run);
    run();
    for (std::thread& helper : helpers)
        helper.join();
}

double secondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The mesh's triangles as an Embree scene.
class EmbreeScene {
public:
    explicit EmbreeScene(const UMesh<float>& mesh) : device(rtcNewDevice("threads=1")), scene(rtcNewScene(device))
    {
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        auto* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(
            geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), mesh.vertices.size()));
        for (std::size_t v = 0; v < mesh.vertices.size(); ++v)
            for (int a = 0; a < 3; ++a)
                vertices[3 * v + a] = mesh.vertices[v]->P()[a];
        auto* indices = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
            geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), mesh.faces.size()));
        for (std::size_t f = 0; f < mesh.faces.size(); ++f)
            for (int k = 0; k < 3; ++k)
                indices[3 * f + k] = mesh.faces[f]->V(k)->ID();
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(scene, geometry);
        rtcReleaseGeometry(geometry);
        rtcCommitScene(scene);
    }
    ~EmbreeScene()
    {
        rtcReleaseScene(scene);
        rtcReleaseDevice(device);
    }
    EmbreeScene(const EmbreeScene&) = delete;
    EmbreeScene& operator=(const EmbreeScene&) = delete;

    /// Closest hit within [0, max]: its distance, or -1.
    float cast(const float* o, const float* d, float max) const
    {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
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
        return rh.hit.geomID != RTC_INVALID_GEOMETRY_ID ? rh.ray.tfar : -1.0f;
    }

    /// Closest hits of `count` rays of one direction as one coherent stream (rtcIntersect1M), within [0, max]:
    /// how many hit.
    int castStream(const float* origins, int count, const float* d, float max, std::vector<RTCRayHit>& rays) const
    {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
        rays.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            RTCRayHit& rh = rays[static_cast<std::size_t>(i)];
            rh = RTCRayHit{};
            rh.ray.org_x = origins[3 * i];
            rh.ray.org_y = origins[3 * i + 1];
            rh.ray.org_z = origins[3 * i + 2];
            rh.ray.dir_x = d[0];
            rh.ray.dir_y = d[1];
            rh.ray.dir_z = d[2];
            rh.ray.tnear = 0.0f;
            rh.ray.tfar = max;
            rh.ray.mask = 0xFFFFFFFFu;
            rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        }
        rtcIntersect1M(scene, &context, rays.data(), static_cast<unsigned>(count), sizeof(RTCRayHit));
        int hits = 0;
        for (const RTCRayHit& rh : rays)
            hits += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID ? 1 : 0;
        return hits;
    }

private:
    RTCDevice device;
    RTCScene scene;
};

void FaceTreeBuild(benchmark::State& state, const bench::NamedMesh* named)
{
    const auto mesh = named->soup.build();
    const int threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const Analysis::OwnedFaceTree tree = Analysis::makeFaceTree(mesh.get(), 0, nullptr, false, threads);
        benchmark::DoNotOptimize(tree->tree->branchCount);
    }
    bench::describe(state, named->name, named->triangles(), threads, static_cast<double>(named->triangles()),
                    "faces/s");
}

/// The same rays through our face tree and through Embree, slice by slice of the faces (ours, then each
/// other way on the same slice), each on `threads` threads. Every ray looks as far as the box diagonal. Ours
/// casts a face's rays as one packet (castFacePacket, one ray at a time where it declines); single_s is our
/// single-ray walk (castFaceRay) on the same rays; embree_s is Embree's rtcIntersect1 ray by ray and
/// embree_stream_s its coherent stream of a face's rays (rtcIntersect1M). time_s and throughput are ours;
/// ratio = our rate / Embree's single-ray rate, ratio_stream = our rate / its stream rate, ratio_single = our
/// rate / our single-ray walk's.
void RaysVsEmbree(benchmark::State& state, const bench::NamedMesh* named)
{
    const auto mesh = named->soup.build();
    const AnalysisRays rays(static_cast<int>(state.range(0)));
    const int threads = static_cast<int>(state.range(1));
    const float max = boxDiagonal(*mesh);
    const Analysis::OwnedFaceTree owned = Analysis::makeFaceTree(mesh.get(), 0, nullptr, false);
    const Analysis::FaceTree& tree = *owned;
    const EmbreeScene embree(*mesh);
    const std::size_t n = mesh->faces.size();
    constexpr std::size_t slices = 16;
    double ours = 0.0, single = 0.0, theirs = 0.0, stream = 0.0;
    std::atomic<std::int64_t> ourHits{0}, singleHits{0}, embreeHits{0}, streamHits{0};
    auto singleRays = [&](std::size_t begin, std::size_t end) {
        std::int64_t hits = 0;
        for (std::size_t f = begin; f < end; ++f)
            rays.forFace(*mesh->faces[f], [&](const float* o, const float* d) {
                float t = max;
                hits += Analysis::castFaceRay(tree, o, d, 0.0f, &t, nullptr, nullptr) ? 1 : 0;
            });
        return hits;
    };
    for (auto _ : state) {
        ourHits = singleHits = embreeHits = streamHits = 0;
        double oursNow = 0.0;
        for (std::size_t s = 0; s < slices; ++s) {
            const std::size_t from = n * s / slices, to = n * (s + 1) / slices;
            oursNow += secondsOf([&] {
                onThreads(threads, from, to, [&](std::size_t begin, std::size_t end) {
                    if (rays.perFace() == 1) {
                        ourHits += singleRays(begin, end);
                        return;
                    }
                    std::int64_t hits = 0;
                    std::vector<float> origins;
                    Analysis::FacePacketHits packet;
                    for (std::size_t f = begin; f < end; ++f)
                        rays.forFacePacket(*mesh->faces[f], origins, [&](const float* o, int count, const float* d) {
                            if (Analysis::castFacePacket(tree, o, count, d, max, packet)) {
                                for (int r = 0; r < count; ++r)
                                    hits += packet.face[r] >= 0 ? 1 : 0;
                                return;
                            }
                            for (int r = 0; r < count; ++r) {
                                float t = max;
                                hits += Analysis::castFaceRay(tree, o + 3 * r, d, 0.0f, &t, nullptr, nullptr) ? 1 : 0;
                            }
                        });
                    ourHits += hits;
                });
            });
            single += secondsOf([&] {
                onThreads(threads, from, to, [&](std::size_t b, std::size_t e) { singleHits += singleRays(b, e); });
            });
            theirs += secondsOf([&] {
                onThreads(threads, from, to, [&](std::size_t begin, std::size_t end) {
                    std::int64_t hits = 0;
                    for (std::size_t f = begin; f < end; ++f)
                        rays.forFace(*mesh->faces[f],
                                     [&](const float* o, const float* d) { hits += embree.cast(o, d, max) >= 0.0f; });
                    embreeHits += hits;
                });
            });
            stream += secondsOf([&] {
                onThreads(threads, from, to, [&](std::size_t begin, std::size_t end) {
                    std::int64_t hits = 0;
                    std::vector<float> origins;
                    std::vector<RTCRayHit> buffer;
                    for (std::size_t f = begin; f < end; ++f)
                        rays.forFacePacket(*mesh->faces[f], origins, [&](const float* o, int count, const float* d) {
                            hits += embree.castStream(o, count, d, max, buffer);
                        });
                    streamHits += hits;
                });
            });
        }
        ours += oursNow;
        state.SetIterationTime(oursNow);
    }
    const double perIteration = static_cast<double>(n * rays.perFace());
    const double runs = static_cast<double>(state.iterations());
    bench::describe(state, named->name, n, threads, perIteration, "rays/s");
    state.counters["single_s"] = single / runs;
    state.counters["embree_s"] = theirs / runs;
    state.counters["embree_stream_s"] = stream / runs;
    state.counters["embree_throughput"] = perIteration * runs / theirs;
    state.counters["ratio"] = theirs / ours;
    state.counters["ratio_stream"] = stream / ours;
    state.counters["ratio_single"] = single / ours;
    state.counters["hits"] = static_cast<double>(ourHits.load());
    state.counters["single_hits"] = static_cast<double>(singleHits.load());
    state.counters["embree_hits"] = static_cast<double>(embreeHits.load());
    state.counters["embree_stream_hits"] = static_cast<double>(streamHits.load());
}

/// The toolkit's ray pass (tree build and rays) on `threads` threads.
void ToolkitRayPass(benchmark::State& state, const bench::NamedMesh* named)
{
    const auto mesh = named->soup.build();
    const int samples = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const float max = boxDiagonal(*mesh);
    const double cpuBefore = bench::processCpuSeconds();
    for (auto _ : state)
        benchmark::DoNotOptimize(meshprobe::detail::thicknessRayPass(*mesh, max, samples, threads, {}).data());
    bench::describe(state, named->name, named->triangles(), threads,
                    static_cast<double>(named->triangles() * AnalysisRays(samples).perFace()), "rays/s");
    // CPU seconds of all threads per pass: with the wall time on an idle machine, how well the threads share.
    state.counters["cpu_seconds"] = (bench::processCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
}

/// The library's own call, one thread, colour mode.
void LibraryCall(benchmark::State& state, const bench::NamedMesh* named)
{
    const auto mesh = named->soup.build();
    const int samples = static_cast<int>(state.range(0));
    const float max = boxDiagonal(*mesh);
    std::vector<unsigned char> colours(4 * mesh->faces.size() + 4);
    Analysis::MeshAnalyzer analyzer;
    for (auto _ : state) {
        auto result =
            analyzer.statvis_calc_thickness(mesh.get(), nullptr, 0.0f, max, samples, Analysis::MeshAnalyzer::Color,
                                            reinterpret_cast<unsigned char(*)[4]>(colours.data()), {});
        benchmark::DoNotOptimize(result.status);
    }
    bench::describe(state, named->name, named->triangles(), 1,
                    static_cast<double>(named->triangles() * AnalysisRays(samples).perFace()), "rays/s");
}

} // namespace

int main(int argc, char** argv)
{
    static std::vector<std::unique_ptr<bench::NamedMesh>> meshes;
    return bench::runBenchmarks(argc, argv, [] {
        if (!bench::meshFile().empty()) {
            meshes.push_back(std::make_unique<bench::NamedMesh>(bench::fileMesh()));
        } else {
            // The small shell first, so that a single quick run takes the small case.
            meshes.push_back(std::make_unique<bench::NamedMesh>(shell(100, 125)));
            meshes.push_back(std::make_unique<bench::NamedMesh>(shell(500, 600)));
        }
        for (const auto& mesh : meshes) {
            const bench::NamedMesh* m = mesh.get();
            const std::vector<int64_t> samples = {1, 8, 31};
            benchmark::RegisterBenchmark(("FaceTreeBuild/" + m->name).c_str(), FaceTreeBuild, m)
                ->ArgName("threads")
                ->Arg(1)
                ->Arg(2)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("RaysVsEmbree/" + m->name).c_str(), RaysVsEmbree, m)
                ->ArgNames({"samples", "threads"})
                ->ArgsProduct({samples, {1, 2}})
                ->UseManualTime()
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("ToolkitRayPass/" + m->name).c_str(), ToolkitRayPass, m)
                ->ArgNames({"samples", "threads"})
                ->ArgsProduct({samples, {1, 2}})
                ->UseRealTime()
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("LibraryCall/" + m->name).c_str(), LibraryCall, m)
                ->ArgNames({"samples"})
                ->Args({samples.back()})
                ->UseRealTime()
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
        }
    });
}
