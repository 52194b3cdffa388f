// SPDX-License-Identifier: MIT
// Ray crossings with Embree: repeated nearest-hit queries, each starting just past the previous hit.
#include "toolkit/src/cavities/RayScene.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "meshprobe/Error.h"

namespace meshprobe::detail {

struct RayScene::Impl {
    MeshView mesh;
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    explicit Impl(const MeshView& m) : mesh(m) {}
};

RayScene::RayScene(const MeshView& mesh) : impl(std::make_unique<Impl>(mesh))
{
    impl->device = rtcNewDevice("threads=1");
    if (!impl->device) throw Error("cannot create an Embree device for ray casting");
    impl->scene = rtcNewScene(impl->device);
    RTCGeometry geometry = rtcNewGeometry(impl->device, RTC_GEOMETRY_TYPE_TRIANGLE);
    // Buffers that Embree allocates (with the padding it needs) and that we fill.
    auto* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                                 3 * sizeof(float), mesh.vertexCount));
    std::copy(mesh.vertices, mesh.vertices + 3 * mesh.vertexCount, vertices);
    auto* triangles = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), mesh.triangleCount));
    std::copy(mesh.triangles, mesh.triangles + 3 * mesh.triangleCount, triangles);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(impl->scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(impl->scene);
}

RayScene::~RayScene()
{
    if (impl->scene) rtcReleaseScene(impl->scene);
    if (impl->device) rtcReleaseDevice(impl->device);
}

std::vector<SurfaceCrossing> RayScene::crossings(const std::array<double, 3>& origin,
                                                 const std::array<double, 3>& direction, double merge) const
{
    std::vector<SurfaceCrossing> out;
    float tnear = 0.0f;
    for (;;) {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRayHit query{};
        query.ray.org_x = float(origin[0]);
        query.ray.org_y = float(origin[1]);
        query.ray.org_z = float(origin[2]);
        query.ray.dir_x = float(direction[0]);
        query.ray.dir_y = float(direction[1]);
        query.ray.dir_z = float(direction[2]);
        query.ray.tnear = tnear;
        query.ray.tfar = std::numeric_limits<float>::infinity();
        query.ray.mask = 0xffffffffu;
        query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(impl->scene, &context, &query);
        if (query.hit.geomID == RTC_INVALID_GEOMETRY_ID) break;
        // The face's own normal from its winding, (v1 - v0) x (v2 - v0): Embree's Ng follows its own convention.
        const std::uint32_t* c = &impl->mesh.triangles[3 * std::size_t(query.hit.primID)];
        const float* p0 = &impl->mesh.vertices[3 * std::size_t(c[0])];
        const float* p1 = &impl->mesh.vertices[3 * std::size_t(c[1])];
        const float* p2 = &impl->mesh.vertices[3 * std::size_t(c[2])];
        const double e1[3] = {double(p1[0]) - p0[0], double(p1[1]) - p0[1], double(p1[2]) - p0[2]};
        const double e2[3] = {double(p2[0]) - p0[0], double(p2[1]) - p0[1], double(p2[2]) - p0[2]};
        const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                             e1[0] * e2[1] - e1[1] * e2[0]};
        const bool entering = n[0] * direction[0] + n[1] * direction[1] + n[2] * direction[2] < 0.0;
        const double t = query.ray.tfar;
        if (out.empty() || t - out.back().t > merge || out.back().entering != entering) out.push_back({t, entering});
        tnear = std::nextafter(query.ray.tfar, std::numeric_limits<float>::infinity()) + float(merge) * 1e-3f;
    }
    return out;
}

std::optional<RayHit> RayScene::nearest(const std::array<float, 3>& origin, const std::array<float, 3>& direction,
                                        float from, float to) const
{
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit query{};
    query.ray.org_x = origin[0];
    query.ray.org_y = origin[1];
    query.ray.org_z = origin[2];
    query.ray.dir_x = direction[0];
    query.ray.dir_y = direction[1];
    query.ray.dir_z = direction[2];
    query.ray.tnear = from;
    query.ray.tfar = to;
    query.ray.mask = 0xffffffffu;
    query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(impl->scene, &context, &query);
    if (query.hit.geomID == RTC_INVALID_GEOMETRY_ID) return std::nullopt;
    return RayHit{query.hit.primID, double(query.ray.tfar)};
}

} // namespace meshprobe::detail
