// SPDX-License-Identifier: MIT
// FaceTree: building the face KdopTree, the leaf tests (tolerance test, watertight test) and the cast.
//
// The watertight test is based on: S. Woop, C. Benthin, I. Wald, "Watertight Ray/Triangle
// Intersection", Journal of Computer Graphics Techniques 2(1), 2013. It shears the triangle into the
// ray's space and decides by the signs of three edge functions, so a ray through a shared edge or
// vertex meets at least one of the faces around it.
#include "analysis/FaceTree.h"

#include "analysis/ThreadSlices.h"

#include <algorithm>
#include <cstdlib>

#include "analysis/KdopTreeWalk.h"

namespace Analysis {
namespace {

constexpr float faceTreeEpsilon = 2.384185791015625e-07f; // 2^-22
constexpr int faceTreeBranching = 8;
constexpr int faceTreeBounds = 8; // x, y, z and the (1, 1, 1) diagonal

inline void sub3(float* out, const float* a, const float* b)
{
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}
inline void cross3(float* out, const float* a, const float* b)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}
inline float dot3(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

/// Corner k of a face: from the coordinate array at the vertex ID, else the face's own point.
inline const float* cornerOf(const UTriangle<float>* face, int k, const float (*coords)[3])
{
    if (coords) return coords[face->V(k)->ID()];
    return &face->P(k)[0];
}

/// Möller-Trumbore test with the barycentric limits widened by e; true with t, u, v on a hit.
bool toleranceTest(const float* origin, const float* dir, const float* p0, const float* p1, const float* p2, float e,
                   float& t, float& u, float& v)
{
    float e1[3], e2[3], pv[3], tv[3], qv[3];
    sub3(e1, p1, p0);
    sub3(e2, p2, p0);
    cross3(pv, dir, e2);
    const float det = dot3(pv, e1);
    if (det == 0.0f) return false;
    sub3(tv, origin, p0);
    const float inv = 1.0f / det;
    u = dot3(tv, pv) * inv;
    if (u < -e || u > 1.0f + e) return false;
    cross3(qv, tv, e1);
    v = dot3(dir, qv) * inv;
    if (v < -e || u + v > 1.0f + e) return false;
    t = dot3(e2, qv) * inv;
    return !(t < 0.0f);
}

/// Watertight test on the corners relative to the origin, each given in the sheared axis order (x
/// along kx, y along ky, z along kz); true with t, u, v on a hit (t = 0 included).
inline bool shearedTest(const WatertightPrecalc& pre, float ax0, float ay0, float az0, float ax1, float ay1, float az1,
                        float ax2, float ay2, float az2, float& t, float& u, float& v)
{
    // Shear and scale the corners into the ray's space (the ray runs along +z there).
    const float x0 = ax0 - pre.Sx * az0;
    const float y0 = ay0 - pre.Sy * az0;
    const float x1 = ax1 - pre.Sx * az1;
    const float y1 = ay1 - pre.Sy * az1;
    const float x2 = ax2 - pre.Sx * az2;
    const float y2 = ay2 - pre.Sy * az2;
    // Edge functions: all of one sign (zeros allowed) when the ray passes inside or on the triangle.
    const float U = x2 * y1 - y2 * x1;
    const float V = x0 * y2 - y0 * x2;
    const float W = x1 * y0 - y1 * x0;
    if ((U < 0.0f || V < 0.0f || W < 0.0f) && (U > 0.0f || V > 0.0f || W > 0.0f)) return false;
    const float det = U + V + W;
    if (det == 0.0f) return false;
    const float T = (U * az0 + V * az1 + W * az2) * pre.Sz;
    // Behind the origin when T and det differ in sign; T = 0 (of either sign) is on the origin.
    if ((T < 0.0f && det > 0.0f) || (T > 0.0f && det < 0.0f)) return false;
    // t through the reciprocal, u and v by true division: they may differ from U * inv in the last bit.
    t = T * (1.0f / det);
    u = U / det;
    v = V / det;
    return true;
}

/// Watertight test with the ray's shear constants; true with t, u, v on a hit (t = 0 included).
inline bool watertightTest(const float* origin, const WatertightPrecalc& pre, const float* p0, const float* p1,
                           const float* p2, float& t, float& u, float& v)
{
    const int kx = pre.kx;
    const int ky = pre.ky;
    const int kz = pre.kz;
    return shearedTest(pre, p0[kx] - origin[kx], p0[ky] - origin[ky], p0[kz] - origin[kz], p1[kx] - origin[kx],
                       p1[ky] - origin[ky], p1[kz] - origin[kz], p2[kx] - origin[kx], p2[ky] - origin[ky],
                       p2[kz] - origin[kz], t, u, v);
}

/// The radius-0 leaf test called by the walk directly (no callback pointer), with the corners read in
/// slot order, so that the leaves of a branch lie side by side; keeps only what castFaceRay reports
/// (face, distance, barycentric u, v).
struct SlotLeafTest {
    const float* slotCorners;
    const int* slotFace;
    const float* origin;
    WatertightPrecalc pre;
    RayHit& hit;
    float u;
    float v;

    // Kept out of line: inlined into the walk it made the loop larger without making the cast faster.
    [[gnu::noinline]] void operator()(int slot, float)
    {
        const float* corner = slotCorners + 9 * static_cast<std::size_t>(slot);
        float t, hitU, hitV;
        if (!watertightTest(origin, pre, corner, corner + 3, corner + 6, t, hitU, hitV)) return;
        // Strictly nearer only: of two faces at the same distance the one met first keeps the hit.
        if (!(hit.distance > t)) return;
        hit.distance = t;
        hit.index = slotFace[slot];
        u = hitU;
        v = hitV;
    }
};

} // namespace

void faceHitCallback(void* userData, int leafIndex, const KdopRay& ray, RayHit& hit)
{
    auto& data = *static_cast<FaceHitData*>(userData);
    float gathered[9];
    const float* corner = gathered;
    if (data.corners) {
        corner = data.corners + 9 * static_cast<std::size_t>(leafIndex);
    } else {
        const UTriangle<float>* face = (*data.faces)[static_cast<std::size_t>(leafIndex)];
        for (int k = 0; k < 3; ++k)
            std::copy_n(cornerOf(face, k, data.coords), 3, gathered + 3 * k);
    }
    float t, u, v;
    const bool isHit =
        ray.radius > 0.0f
            ? toleranceTest(ray.origin, ray.direction, corner, corner + 3, corner + 6, ray.radius, t, u, v)
            : watertightTest(ray.origin, *ray.precalc, corner, corner + 3, corner + 6, t, u, v);
    if (!isHit) return;
    // Strictly nearer only, so that of two faces at the same distance the one met first keeps the hit
    // (and a NaN distance never counts).
    if (!(hit.distance > t)) return;
    const UTriangle<float>* face = (*data.faces)[static_cast<std::size_t>(leafIndex)];
    hit.distance = t;
    hit.index = leafIndex;
    for (int a = 0; a < 3; ++a) {
        hit.normal[a] = (&face->N()[0])[a];
        hit.point[a] = ray.origin[a] + ray.direction[a] * t;
    }
    data.u = u;
    data.v = v;
}

void buildFaceTree(FaceTree& faceTree, UMesh<float>* mesh, unsigned flags, const float (*coords)[3], bool ownsCoords,
                   int buildThreads)
{
    faceTree.mesh = mesh;
    faceTree.coords = coords;
    faceTree.ownsCoords = ownsCoords;
    faceTree.flags = flags & ~(FaceTreeSelectedOnly | FaceTreeVisibleOnly);

    const std::vector<UTriangle<float>*>& faces = mesh->faces;
    const std::size_t n = faces.size();
    auto passes = [flags](const UTriangle<float>* face) {
        if (flags & FaceTreeSelectedOnly) return face->IsS();
        if (flags & FaceTreeVisibleOnly) return !face->IsH();
        return true;
    };
    // One filter decision per face position; a face pointer repeated in the list reuses the last one.
    std::vector<char> included(n, 1);
    int leafCount = static_cast<int>(n);
    if (flags & (FaceTreeSelectedOnly | FaceTreeVisibleOnly)) {
        leafCount = 0;
        const UTriangle<float>* previous = nullptr;
        bool previousPasses = false;
        for (std::size_t p = 0; p < n; ++p) {
            if (faces[p] != previous) {
                previous = faces[p];
                previousPasses = passes(previous);
            }
            included[p] = previousPasses;
            leafCount += previousPasses ? 1 : 0;
        }
    }

    faceTree.tree = kdopTreeNew(leafCount, faceTreeEpsilon, faceTreeBranching, faceTreeBounds);
    faceTree.corners.assign(9 * n, 0.0f);
    auto copyCorners = [&](std::size_t p) {
        float* corner = faceTree.corners.data() + 9 * p;
        for (int k = 0; k < 3; ++k) {
            const float* c = cornerOf(faces[p], k, coords);
            corner[3 * k] = c[0];
            corner[3 * k + 1] = c[1];
            corner[3 * k + 2] = c[2];
        }
    };
    constexpr int minFacesPerThread = 8192;
    if (leafCount == static_cast<int>(n)) {
        // Every face is a leaf, leaf p at position p: the corners and bounds are per face, so threads may
        // share them out.
        forThreadSlices(leafCount, buildThreads, minFacesPerThread, [&](int begin, int end) {
            for (int p = begin; p < end; ++p)
                copyCorners(static_cast<std::size_t>(p));
        });
        kdopTreeInsertMany(faceTree.tree, 0, faceTree.corners.data(), 3, leafCount, buildThreads);
    } else {
        for (std::size_t p = 0; p < n; ++p) {
            if (!included[p]) continue; // skipped faces still advance the leaf numbering
            copyCorners(p);
            kdopTreeInsert(faceTree.tree, static_cast<int>(p), faceTree.corners.data() + 9 * p, 3);
        }
    }
    if (buildThreads > 1)
        kdopTreeBalanceOnThreads(faceTree.tree, buildThreads);
    else
        kdopTreeBalance(faceTree.tree);

    const KdopTree& tree = *faceTree.tree;
    faceTree.slotCorners.resize(9 * static_cast<std::size_t>(tree.leafCount));
    forThreadSlices(tree.leafCount, buildThreads, minFacesPerThread, [&](int begin, int end) {
        for (int slot = begin; slot < end; ++slot) {
            const float* from = faceTree.corners.data() + 9 * static_cast<std::size_t>(tree.slotLeaf[slot]);
            std::copy(from, from + 9, faceTree.slotCorners.data() + 9 * static_cast<std::size_t>(slot));
        }
    });
}

UTriangle<float>* castFaceRay(const FaceTree& faceTree, const float origin[3], const float direction[3], float radius,
                              float* maxDistance, float hitPoint[3], float rayPoint[3])
{
    if (!faceTree.tree) return nullptr;
    const float limit = maxDistance ? *maxDistance : floatMax;
    RayHit hit{};
    hit.index = -1;
    hit.distance = limit;
    FaceHitData data{&faceTree.mesh->faces, faceTree.coords, 0.0f, 0.0f, faceTree.corners.data()};
    const KdopTree& tree = *faceTree.tree;
    if (radius == 0.0f) {
        // The same walk as kdopTreeRayCast's, offering the same leaves in the same order to the same
        // watertight test as faceHitCallback, so the result is the same.
        if (tree.branchCount > 0 && tree.branchInfo(0).childCount > 0) {
            kdopwalk::SlabRay slab;
            kdopwalk::setUpSlabRay(slab, origin, direction);
            SlotLeafTest test{faceTree.slotCorners.data(), tree.slotLeaf.data(), origin, {}, hit, 0.0f, 0.0f};
            kdopwalk::setUpWatertight(test.pre, direction);
            kdopwalk::walkThinRay(tree, slab, hit, test);
            data.u = test.u;
            data.v = test.v;
        }
    } else {
        kdopTreeRayCast(faceTree.tree, origin, direction, radius, &hit, faceHitCallback, &data, KdopRayWatertight);
    }
    if (hit.index == -1 || hit.distance == limit) return nullptr;

    UTriangle<float>* face = faceTree.mesh->faces[static_cast<std::size_t>(hit.index)];
    const float t = hit.distance;
    float onRay[3];
    for (int a = 0; a < 3; ++a)
        onRay[a] = origin[a] + direction[a] * t;
    if (hitPoint) {
        if (faceTree.flags & FaceTreeHitOnSurface) {
            const UPoint3<float>& p0 = face->P(0);
            const UPoint3<float>& p1 = face->P(1);
            const UPoint3<float>& p2 = face->P(2);
            for (int a = 0; a < 3; ++a)
                hitPoint[a] = ((p1[a] - p0[a]) * data.u + p0[a]) + (p2[a] - p0[a]) * data.v;
        } else {
            for (int a = 0; a < 3; ++a)
                hitPoint[a] = onRay[a];
        }
        if (rayPoint)
            for (int a = 0; a < 3; ++a)
                rayPoint[a] = onRay[a];
    }
    if (maxDistance) *maxDistance = t;
    return face;
}

void freeFaceTree(FaceTree& faceTree)
{
    if (faceTree.tree) kdopTreeFree(faceTree.tree);
    faceTree.tree = nullptr;
    if (faceTree.coords && faceTree.ownsCoords) std::free(const_cast<float(*)[3]>(faceTree.coords));
    faceTree.coords = nullptr;
    faceTree.corners.clear();
    faceTree.corners.shrink_to_fit();
    faceTree.slotCorners.clear();
    faceTree.slotCorners.shrink_to_fit();
}

} // namespace Analysis
