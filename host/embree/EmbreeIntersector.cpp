// SPDX-License-Identifier: MIT
// All-hits ray queries on Embree 3, with exact decisions for rays through shared edges and vertices.
//
// Embree finds the candidate triangles (an intersection filter records each one and rejects it so the
// traversal goes on). Embree's own verdict is not used for counting: a ray through a shared edge or
// vertex may be reported by every triangle around it. Each candidate, and for candidates near an edge
// every triangle around its corners, is decided by one exact rule instead: the watertight ray/triangle
// test of Woop, Benthin and Wald in double precision, with edge functions that are exact negations of
// each other for the two triangles of an edge, and a tie-break for a zero edge function that acts as an
// infinitesimal shift of the ray in its projection plane (the rasteriser's top-left rule). A crossing
// through an edge or vertex is then claimed by exactly as many triangles as a shifted ray would cross,
// which keeps the parity of the crossing count exact for closed meshes.
//
// Which triangles Embree offers depends only on its test of each triangle against the ray, not on how its
// tree groups them: the filter rejects every hit, so the whole ray is traversed, and the robust traversal
// never skips a box that holds a triangle its test accepts. That is what makes the first queries cheap.
// A ray along an axis is answered by a scene of its own made of the few triangles whose bounds, widened by
// a margin far beyond rounding, lie around its line: Embree offers exactly the triangles that a scene of
// the whole mesh would offer. Building the whole mesh's tree costs as much as a few thousand such small
// scenes, and the voxelizer's votes often cast only a few dozen rays; the whole scene is built only for
// other directions or once that many axis rays have been cast.
#include "host/embree/EmbreeIntersector.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <unordered_map>

#include "host/embree/AxisLineIndex.h"
#include "host/mesh/MeshKernel.h"

namespace embree {

namespace {

// Margin around a triangle's bounds, relative to the largest coordinate: rounding in Embree's test reaches
// a few units of the last place (1e-7), this is a thousand times more.
constexpr float kRelativeNearMargin = 1e-4f;

void releaseScene(RTCScene scene)
{
    if (scene) rtcReleaseScene(scene);
}

} // namespace

// What the queries look up around a triangle or a line, made from the mesh's arrays.
struct EmbreeIntersector::Neighbours {
    std::vector<unsigned> ringOffsets; // triangles around vertex i: ringTriangles[ringOffsets[i] .. [i+1])
    std::vector<unsigned> ringTriangles;
    std::unique_ptr<AxisLineIndex> lines;
};

struct EmbreeIntersector::Scene {
    RTCDevice device = nullptr;
    RTCScene whole = nullptr; // the whole mesh's scene, built on first need
    std::once_flag wholeBuilt;
    std::vector<float> positions; // three floats per vertex, placed, and one more: Embree reads 16 bytes
    std::size_t vertexCount = 0;
    std::vector<unsigned> corners; // three vertex positions per triangle
    float nearMargin = 0.0f;
    // Started by init on a thread of its own; taken by the first ray. Destroyed (and so waited for)
    // before the arrays that it reads.
    std::future<std::unique_ptr<Neighbours>> neighboursBuilding;
    std::unique_ptr<Neighbours> neighboursBuilt;
    std::once_flag neighboursTaken;
    std::atomic<long> axisRaysLeft{kAxisRaysBeforeWholeScene};

    ~Scene()
    {
        releaseScene(whole);
        if (device) rtcReleaseDevice(device);
    }

    const Neighbours& neighbours()
    {
        std::call_once(neighboursTaken, [this] {
            neighboursBuilt = neighboursBuilding.valid() ? neighboursBuilding.get() : makeNeighbours(*this);
        });
        return *neighboursBuilt;
    }

    /// A scene of the given triangles (all of them when `triangles` is null), with the flags that every
    /// scene here has. Throws std::runtime_error when Embree fails.
    RTCScene build(const std::vector<unsigned>* triangles) const;
};

namespace {

struct Candidate {
    unsigned primId;
    bool nearEdge;
};

// Extended context: Embree hands it back to the filter.
struct CollectContext {
    RTCIntersectContext context;
    std::vector<Candidate>* candidates;
    const std::vector<unsigned>* primIds; // the mesh's triangle of each of the scene's, or null: the same
};

// Barycentric weight below which a candidate counts as lying on an edge or vertex.
constexpr float kEdgeMargin = 1e-3f;

void collectFilter(const RTCFilterFunctionNArguments* args)
{
    auto* collect = reinterpret_cast<CollectContext*>(args->context);
    const float u = RTCHitN_u(args->hit, args->N, 0);
    const float v = RTCHitN_v(args->hit, args->N, 0);
    const float w = 1.0f - u - v;
    const unsigned primId = RTCHitN_primID(args->hit, args->N, 0);
    collect->candidates->push_back({collect->primIds ? (*collect->primIds)[primId] : primId,
                                    u < kEdgeMargin || v < kEdgeMargin || w < kEdgeMargin});
    args->valid[0] = 0; // reject, so the traversal reports the next crossing too
}

// The axis a direction runs along (its only non-zero component), or -1.
int alongAxis(const UVector3<float>& direction)
{
    int axis = -1;
    for (int k = 0; k < 3; ++k)
        if (direction[k] != 0.0f) {
            if (axis >= 0) return -1;
            axis = k;
        }
    return axis;
}

// Sign of the edge function a->b at the projected ray (the origin), never zero for a proper edge:
// a zero value is decided as if the ray were shifted by (eps, eps^2) in the projection plane.
int edgeSign(double ax, double ay, double bx, double by)
{
    const double e = ax * by - ay * bx;
    if (e > 0.0) return 1;
    if (e < 0.0) return -1;
    const double ex = bx - ax;
    const double ey = by - ay;
    if (ey != 0.0) return ey > 0.0 ? -1 : 1;
    if (ex != 0.0) return ex > 0.0 ? 1 : -1;
    return 0;
}

} // namespace

EmbreeIntersector::EmbreeIntersector() = default;
EmbreeIntersector::~EmbreeIntersector() = default;

std::unique_ptr<EmbreeIntersector::Neighbours> EmbreeIntersector::makeNeighbours(const Scene& scene)
{
    auto n = std::make_unique<Neighbours>();
    // Triangles around each vertex, for the exact decision near edges.
    n->ringOffsets.assign(scene.vertexCount + 1, 0);
    for (unsigned c : scene.corners)
        ++n->ringOffsets[c + 1];
    for (std::size_t i = 0; i < scene.vertexCount; ++i)
        n->ringOffsets[i + 1] += n->ringOffsets[i];
    n->ringTriangles.resize(scene.corners.size());
    std::vector<unsigned> fill(n->ringOffsets.begin(), n->ringOffsets.end() - 1);
    for (std::size_t c = 0; c < scene.corners.size(); ++c)
        n->ringTriangles[fill[scene.corners[c]]++] = static_cast<unsigned>(c / 3);
    n->lines = std::make_unique<AxisLineIndex>(scene.positions, scene.corners, scene.nearMargin);
    return n;
}

RTCScene EmbreeIntersector::Scene::build(const std::vector<unsigned>* triangles) const
{
    RTCScene built = rtcNewScene(device);
    if (!built) throw std::runtime_error("Embree: cannot create a scene");
    rtcSetSceneFlags(built, RTC_SCENE_FLAG_ROBUST | RTC_SCENE_FLAG_CONTEXT_FILTER_FUNCTION);
    const std::size_t triangleCount = triangles ? triangles->size() : corners.size() / 3;
    if (triangleCount > 0) {
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, positions.data(), 0,
                                   3 * sizeof(float), vertexCount);
        auto* ib = static_cast<unsigned*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                                  3 * sizeof(unsigned), triangleCount));
        if (!ib) {
            rtcReleaseGeometry(geometry);
            rtcReleaseScene(built);
            throw std::runtime_error("Embree: cannot allocate geometry buffers");
        }
        if (triangles)
            for (std::size_t t = 0; t < triangleCount; ++t)
                std::copy_n(&corners[3 * std::size_t((*triangles)[t])], 3, ib + 3 * t);
        else
            std::copy(corners.begin(), corners.end(), ib);
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(built, geometry);
        rtcReleaseGeometry(geometry);
    }
    rtcCommitScene(built);
    if (rtcGetDeviceError(device) != RTC_ERROR_NONE) {
        rtcReleaseScene(built);
        throw std::runtime_error("Embree: scene build failed");
    }
    return built;
}

bool EmbreeIntersector::init(MeshKernel* kernel, bool, bool)
{
    auto s = std::make_unique<Scene>();
    const UMesh<float>& mesh = *kernel->getMesh();
    const UMatrix4<float> matrix = kernel->getMatrix();
    const bool identity = matrix.isIdenticalMatrix();

    const std::size_t vertexCount = mesh.vertices.size();
    s->vertexCount = vertexCount;
    s->positions.resize(vertexCount * 3 + 1);
    std::unordered_map<const UVertex<float>*, unsigned> positionOf; // only when IDs are not list positions
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const UVertex<float>* v = mesh.vertices[i];
        UPoint3<float> p = v->P();
        if (!identity) p = p * matrix;
        for (int k = 0; k < 3; ++k)
            s->positions[3 * i + k] = p[k];
        if (v->ID() != i && positionOf.empty())
            for (std::size_t j = 0; j < vertexCount; ++j)
                positionOf.emplace(mesh.vertices[j], static_cast<unsigned>(j));
    }
    const std::size_t triangleCount = mesh.faces.size();
    s->corners.resize(triangleCount * 3);
    for (std::size_t t = 0; t < triangleCount; ++t)
        for (int k = 0; k < 3; ++k) {
            const UVertex<float>* v = mesh.faces[t]->V(k);
            s->corners[3 * t + k] = positionOf.empty() ? v->ID() : positionOf.at(v);
        }

    float largest = 0.0f;
    for (std::size_t i = 0; i < 3 * vertexCount; ++i)
        largest = std::max(largest, std::fabs(s->positions[i]));
    s->nearMargin = std::max(kRelativeNearMargin * largest, std::numeric_limits<float>::min());

    s->device = rtcNewDevice(nullptr);
    if (!s->device) throw std::runtime_error("Embree: cannot create a device");
    // Beside whatever the caller does until its first ray (the voxelizer: its surface voxels and walks).
    try {
        s->neighboursBuilding = std::async(std::launch::async, [scene = s.get()] { return makeNeighbours(*scene); });
    } catch (const std::system_error&) {
        // No thread to spare: the first ray makes them.
    }
    scene = std::move(s);
    return true;
}

bool EmbreeIntersector::intersectRay(const UVector3<float>& origin, const UVector3<float>& direction,
                                     std::vector<Hit>& hits, int& hitCount, float tnear, float tfar, int mask) const
{
    hits.clear();
    hitCount = 0;
    if (!scene || (direction[0] == 0.0f && direction[1] == 0.0f && direction[2] == 0.0f)) return false;

    std::vector<Candidate> candidates;
    CollectContext collect;
    rtcInitIntersectContext(&collect.context);
    collect.context.filter = collectFilter;
    collect.candidates = &candidates;
    collect.primIds = nullptr;

    RTCRayHit rayHit{};
    rayHit.ray.org_x = origin[0];
    rayHit.ray.org_y = origin[1];
    rayHit.ray.org_z = origin[2];
    rayHit.ray.dir_x = direction[0];
    rayHit.ray.dir_y = direction[1];
    rayHit.ray.dir_z = direction[2];
    rayHit.ray.tnear = tnear;
    rayHit.ray.tfar = tfar;
    rayHit.ray.mask = static_cast<unsigned>(mask);
    rayHit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    const Neighbours& neighbours = scene->neighbours();
    const int axis = alongAxis(direction);
    std::vector<unsigned> near;
    bool alongLine = axis >= 0 && scene->axisRaysLeft.fetch_sub(1, std::memory_order_relaxed) > 0;
    if (alongLine) {
        const float point[3] = {origin[0], origin[1], origin[2]};
        neighbours.lines->trianglesNear(axis, point, near);
        // On a bound, a box of the whole scene's tree may be passed by or not, depending on the grouping.
        alongLine = !neighbours.lines->onABound(point, near);
    }
    if (alongLine) {
        if (!near.empty()) {
            const std::unique_ptr<RTCSceneTy, void (*)(RTCScene)> lineScene(scene->build(&near), releaseScene);
            collect.primIds = &near;
            rtcIntersect1(lineScene.get(), &collect.context, &rayHit);
        }
    } else {
        std::call_once(scene->wholeBuilt, [this] { scene->whole = scene->build(nullptr); });
        rtcIntersect1(scene->whole, &collect.context, &rayHit);
    }

    // Triangles to decide exactly: every candidate, plus the triangles around the corners of near-edge ones.
    std::vector<unsigned> toTest;
    toTest.reserve(candidates.size());
    for (const Candidate& c : candidates) {
        toTest.push_back(c.primId);
        if (!c.nearEdge) continue;
        for (int k = 0; k < 3; ++k) {
            const unsigned vertex = scene->corners[3 * c.primId + k];
            for (unsigned r = neighbours.ringOffsets[vertex]; r < neighbours.ringOffsets[vertex + 1]; ++r)
                toTest.push_back(neighbours.ringTriangles[r]);
        }
    }
    std::sort(toTest.begin(), toTest.end());
    toTest.erase(std::unique(toTest.begin(), toTest.end()), toTest.end());

    // Watertight projection: kz the dominant axis, shear so the ray runs along +kz.
    const double d[3] = {direction[0], direction[1], direction[2]};
    int kz = 2;
    if (std::fabs(d[0]) > std::fabs(d[1]) && std::fabs(d[0]) > std::fabs(d[2]))
        kz = 0;
    else if (std::fabs(d[1]) > std::fabs(d[2]))
        kz = 1;
    int kx = (kz + 1) % 3;
    int ky = (kx + 1) % 3;
    if (d[kz] < 0.0) std::swap(kx, ky);
    const double sz = 1.0 / d[kz];
    const double sx = d[kx] * sz;
    const double sy = d[ky] * sz;

    for (unsigned t : toTest) {
        double a[3][3];
        double x[3];
        double y[3];
        for (int k = 0; k < 3; ++k) {
            const float* p = &scene->positions[3 * scene->corners[3 * t + k]];
            for (int q = 0; q < 3; ++q)
                a[k][q] = static_cast<double>(p[q]) - static_cast<double>(origin[q]);
            x[k] = a[k][kx] - sx * a[k][kz];
            y[k] = a[k][ky] - sy * a[k][kz];
        }
        const int s0 = edgeSign(x[1], y[1], x[2], y[2]); // opposite corner 0
        const int s1 = edgeSign(x[2], y[2], x[0], y[0]); // opposite corner 1
        const int s2 = edgeSign(x[0], y[0], x[1], y[1]); // opposite corner 2
        if (s0 == 0 || s0 != s1 || s1 != s2) continue;
        const double b0 = x[1] * y[2] - y[1] * x[2];
        const double b1 = x[2] * y[0] - y[2] * x[0];
        const double b2 = x[0] * y[1] - y[0] * x[1];
        const double det = b0 + b1 + b2;
        if (det == 0.0) continue; // the ray lies in the triangle's plane
        const double distance = (b0 * a[0][kz] + b1 * a[1][kz] + b2 * a[2][kz]) * sz / det;
        if (!(distance >= tnear && distance <= tfar)) continue;
        Hit hit;
        hit.distance = static_cast<float>(distance);
        hit.primId = t;
        hit.u = static_cast<float>(b1 / det);
        hit.v = static_cast<float>(b2 / det);
        hits.push_back(hit);
    }
    std::sort(hits.begin(), hits.end(), [](const Hit& l, const Hit& r) {
        return l.distance != r.distance ? l.distance < r.distance : l.primId < r.primId;
    });
    hitCount = static_cast<int>(hits.size());
    return !hits.empty();
}

} // namespace embree
