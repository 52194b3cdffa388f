// SPDX-License-Identifier: MIT
// Nearest-hit ray cast through a KdopTree. The walk is depth first: at a branch the children are visited
// in order along the ray's direction on the branch's split axis, and a node is entered only while its
// slab entry distance lies before the nearest hit so far. With radius 0 the walk tests all children of
// a branch together (SSE where available) when it reaches the branch, and re-checks each child against
// the nearest hit again when the child's turn comes; the visiting order, and so the leaf that keeps a
// tie, is the same as one node at a time.
#include "analysis/KdopTree.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define MESHPROBE_KDOP_SSE 1
#endif

namespace Analysis {
namespace {

constexpr float floatMax = 3.4028235e38f;
constexpr float machineEpsilon = 1.1920929e-07f;
constexpr float noHitDistance = 1.7014117e38f;

/// Stack bound: a depth-first walk holds at most (m - 1) entries per level plus one, with m <= 32 and
/// fewer than 32 levels (the implicit tree has depth log_m(leaves) + 1 for at most 2^31 leaves).
constexpr int stackSize = 32 * 32 + 1;

/// Larger/smaller of two floats; the second argument wins unless the first compares beyond it, so a NaN
/// in the first place yields the second (the semantics of SSE maxps/minps).
inline float maxOf(float a, float b)
{
    return a > b ? a : b;
}
inline float minOf(float a, float b)
{
    return a < b ? a : b;
}

/// Position of the lowest set bit of a non-zero mask.
inline int lowestBit(unsigned mask)
{
    int bit = 0;
    while ((mask & 1u) == 0) {
        mask >>= 1;
        ++bit;
    }
    return bit;
}

/// Per-ray state of one cast.
struct CastState {
    const KdopTree* tree;
    KdopLeafCallback callback;
    void* userData;
    KdopRay ray;
    WatertightPrecalc precalc;
    float component[3];  ///< direction components, 0 where below the machine epsilon in magnitude
    float reciprocal[3]; ///< 1 / the unrounded component
    int nearPlane[3];    ///< slab plane (0..5) met first along each axis
    int farPlane[3];
    RayHit hit;
};

void setUpCast(CastState& s, const float origin[3], const float direction[3], float radius, int flags)
{
    for (int a = 0; a < 3; ++a) {
        s.ray.origin[a] = origin[a];
        s.ray.direction[a] = direction[a];
        s.component[a] = direction[a];
        s.reciprocal[a] = 1.0f / direction[a];
        if (std::fabs(direction[a]) < machineEpsilon) s.component[a] = 0.0f;
        s.nearPlane[a] = 2 * a + (s.reciprocal[a] < 0.0f ? 1 : 0);
        s.farPlane[a] = 2 * a + (s.reciprocal[a] < 0.0f ? 0 : 1);
    }
    s.ray.radius = radius;
    s.ray.precalc = nullptr;
    if (flags & KdopRayWatertight) {
        // Dominant axis becomes z of the sheared ray space; swapping x and y for a negative dominant
        // component keeps the triangles' winding.
        const float ax = std::fabs(direction[0]);
        const float ay = std::fabs(direction[1]);
        const float az = std::fabs(direction[2]);
        int kz;
        if (ax > ay && ax > az)
            kz = 0;
        else if (!(ax > ay) && ay > az)
            kz = 1;
        else
            kz = 2;
        int kx = kz + 1 == 3 ? 0 : kz + 1;
        int ky = kx + 1 == 3 ? 0 : kx + 1;
        if (direction[kz] < 0.0f) {
            const int swap = kx;
            kx = ky;
            ky = swap;
        }
        s.precalc.kx = kx;
        s.precalc.ky = ky;
        s.precalc.kz = kz;
        s.precalc.Sz = 1.0f / direction[kz];
        s.precalc.Sx = direction[kx] * s.precalc.Sz;
        s.precalc.Sy = direction[ky] * s.precalc.Sz;
        s.ray.precalc = &s.precalc;
    }
}

/// A leaf's turn: the caller's exact test, or without one a hit at the bound's entry distance.
inline void visitLeaf(CastState& s, int leafIndex, float entry)
{
    if (s.callback) {
        s.callback(s.userData, leafIndex, s.ray, s.hit);
        return;
    }
    s.hit.index = leafIndex;
    for (int a = 0; a < 3; ++a)
        s.hit.point[a] = s.ray.origin[a] + s.ray.direction[a] * entry;
    s.hit.distance = entry;
}

// ---------------------------------------------------------------------------------------------------
// Radius 0: slab test with precomputed reciprocals.
//
// At distance D a node is skipped when its entry is not before D, where the entry is 3.4028235e38 for
// a miss. The miss test has a part that does not depend on D (miss0) and the checks t1 > D. Since D
// only shrinks while a node waits on the stack, the node is tested once when its parent is reached and
// given a key with "skipped at D" <=> "key >= D" for every later D:
//   - miss0: key = 3.4028235e38;
//   - no NaN among t1x, t1y, t1z: any t1 > D implies entry = max(t1) > D, so key = entry;
//   - otherwise (a component of zero with the origin on a slab plane): the t1 > D checks of the
//     non-NaN t1 are not implied by the entry, and "t1 > D" is "the float below t1 >= D".
// ---------------------------------------------------------------------------------------------------

struct StackEntry {
    int ref; ///< leaf index, or branch number - 1
    int isLeaf;
    float key;   ///< skip the entry once key >= current distance
    float entry; ///< entry distance, for a leaf without callback
};

/// Key of a node that passed its test when some of t1x, t1y, t1z is NaN (see above).
float keyWithNaN(const float t1[3], float entry)
{
    float key = std::nanf("");
    for (int a = 0; a < 3; ++a) {
        if (std::isnan(t1[a]) || t1[a] == -INFINITY) continue;
        const float below = std::nextafter(t1[a], -INFINITY);
        key = std::isnan(key) ? below : maxOf(below, key);
    }
    if (!std::isnan(entry)) key = std::isnan(key) ? entry : maxOf(entry, key);
    return key;
}

/// Scalar test of one node's x, y, z slabs (six floats in the order x min, x max, y min, ...) at
/// distance D. Returns whether the node is entered, with its key and entry.
bool testSlab(const CastState& s, const float* const* plane, int lane, float D, float& key, float& entry)
{
    const float* o = s.ray.origin;
    const float* r = s.reciprocal;
    const float t1x = (plane[s.nearPlane[0]][lane] - o[0]) * r[0];
    const float t2x = (plane[s.farPlane[0]][lane] - o[0]) * r[0];
    const float t1y = (plane[s.nearPlane[1]][lane] - o[1]) * r[1];
    const float t2y = (plane[s.farPlane[1]][lane] - o[1]) * r[1];
    const float t1z = (plane[s.nearPlane[2]][lane] - o[2]) * r[2];
    const float t2z = (plane[s.farPlane[2]][lane] - o[2]) * r[2];
    const bool miss0 = t1x > t2y || t1y > t2x || t1x > t2z || t1z > t2x || t1y > t2z || t1z > t2y || t2x < 0.0f ||
                       t2y < 0.0f || t2z < 0.0f;
    const bool missD = t1x > D || t1y > D || t1z > D;
    const float e = maxOf(maxOf(t1x, t1y), t1z);
    entry = (miss0 || missD) ? floatMax : e;
    if (entry >= D) return false;
    if (miss0)
        key = floatMax;
    else if (std::isnan(t1x) || std::isnan(t1y) || std::isnan(t1z)) {
        const float t1[3] = {t1x, t1y, t1z};
        key = keyWithNaN(t1, e);
    } else
        key = e;
    return true;
}

/// Row pointers to the six slab rows of a branch.
struct SlabRows {
    const float* row[6];
    SlabRows(const KdopTree& tree, int branch)
    {
        const float* base = tree.branchSlabs(branch);
        for (int plane = 0; plane < 6; ++plane)
            row[plane] = base + plane * tree.slabWidth;
    }
};

/// Pushes the children of a branch that are entered at distance D, in reverse visiting order.
int pushChildren(const CastState& s, int branchIndex, float D, StackEntry* stack, int top)
{
    const KdopTree& tree = *s.tree;
    const KdopBranchInfo& info = tree.branchInfo[branchIndex];
    const int count = info.childCount;
    const SlabRows rows(tree, branchIndex);
    float key[32];
    float entry[32];
    std::uint32_t entered = 0;
#if MESHPROBE_KDOP_SSE
    const __m128 zero = _mm_setzero_ps();
    const __m128 distance = _mm_set1_ps(D);
    const __m128 missValue = _mm_set1_ps(floatMax);
    const __m128 origin[3] = {_mm_set1_ps(s.ray.origin[0]), _mm_set1_ps(s.ray.origin[1]), _mm_set1_ps(s.ray.origin[2])};
    const __m128 reciprocal[3] = {_mm_set1_ps(s.reciprocal[0]), _mm_set1_ps(s.reciprocal[1]),
                                  _mm_set1_ps(s.reciprocal[2])};
    std::uint32_t nanLanes = 0;
    for (int lane = 0; lane < count; lane += 4) {
        auto slabDistance = [&](int plane, int axis) {
            return _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(rows.row[plane] + lane), origin[axis]), reciprocal[axis]);
        };
        const __m128 t1x = slabDistance(s.nearPlane[0], 0);
        const __m128 t2x = slabDistance(s.farPlane[0], 0);
        const __m128 t1y = slabDistance(s.nearPlane[1], 1);
        const __m128 t2y = slabDistance(s.farPlane[1], 1);
        const __m128 t1z = slabDistance(s.nearPlane[2], 2);
        const __m128 t2z = slabDistance(s.farPlane[2], 2);
        __m128 miss0 = _mm_or_ps(_mm_or_ps(_mm_cmpgt_ps(t1x, t2y), _mm_cmpgt_ps(t1y, t2x)),
                                 _mm_or_ps(_mm_cmpgt_ps(t1x, t2z), _mm_cmpgt_ps(t1z, t2x)));
        miss0 = _mm_or_ps(miss0, _mm_or_ps(_mm_cmpgt_ps(t1y, t2z), _mm_cmpgt_ps(t1z, t2y)));
        miss0 = _mm_or_ps(
            miss0, _mm_or_ps(_mm_or_ps(_mm_cmplt_ps(t2x, zero), _mm_cmplt_ps(t2y, zero)), _mm_cmplt_ps(t2z, zero)));
        const __m128 missD =
            _mm_or_ps(_mm_or_ps(_mm_cmpgt_ps(t1x, distance), _mm_cmpgt_ps(t1y, distance)), _mm_cmpgt_ps(t1z, distance));
        // maxps returns its second operand unless the first is greater: the scalar maxOf exactly.
        const __m128 e = _mm_max_ps(_mm_max_ps(t1x, t1y), t1z);
        const __m128 miss = _mm_or_ps(miss0, missD);
        const __m128 entryValue = _mm_or_ps(_mm_and_ps(miss, missValue), _mm_andnot_ps(miss, e));
        const __m128 skip = _mm_cmpge_ps(entryValue, distance);
        const __m128 keyValue = _mm_or_ps(_mm_and_ps(miss0, missValue), _mm_andnot_ps(miss0, e));
        const __m128 nan =
            _mm_or_ps(_mm_or_ps(_mm_cmpunord_ps(t1x, t1x), _mm_cmpunord_ps(t1y, t1y)), _mm_cmpunord_ps(t1z, t1z));
        _mm_storeu_ps(key + lane, keyValue);
        _mm_storeu_ps(entry + lane, entryValue);
        entered |= static_cast<std::uint32_t>(~_mm_movemask_ps(skip) & 15) << lane;
        nanLanes |= static_cast<std::uint32_t>(_mm_movemask_ps(_mm_andnot_ps(miss0, nan))) << lane;
    }
    if (count < 32) entered &= (1u << count) - 1u;
    // Rare: a zero direction component with the origin on a slab plane; redo those lanes one by one.
    for (std::uint32_t lanes = nanLanes & entered; lanes != 0; lanes &= lanes - 1u) {
        const int c = lowestBit(lanes);
        testSlab(s, rows.row, c, D, key[c], entry[c]);
    }
#else
    for (int c = 0; c < count; ++c)
        if (testSlab(s, rows.row, c, D, key[c], entry[c])) entered |= 1u << c;
#endif
    if (entered == 0) return top;
    const int* child = tree.branchChildren(branchIndex);
    auto push = [&](int c) {
        stack[top++] = StackEntry{child[c], static_cast<int>((info.leafMask >> c) & 1u), key[c], entry[c]};
    };
    if (s.component[info.splitAxis] > 0.0f) {
        for (int c = count - 1; c >= 0; --c)
            if (entered & (1u << c)) push(c);
    } else {
        for (int c = 0; c < count; ++c)
            if (entered & (1u << c)) push(c);
    }
    return top;
}

void castThinRay(CastState& s)
{
    const KdopTree& tree = *s.tree;
    StackEntry stack[stackSize];
    int top = 0;
    {
        const float* const plane[6] = {&tree.rootSlab[0], &tree.rootSlab[1], &tree.rootSlab[2],
                                       &tree.rootSlab[3], &tree.rootSlab[4], &tree.rootSlab[5]};
        float key;
        float entry;
        if (!testSlab(s, plane, 0, s.hit.distance, key, entry)) return;
        stack[top++] = StackEntry{0, 0, key, entry};
    }
    while (top > 0) {
        /* pop next node */
        const StackEntry node = stack[--top];
        if (node.key >= s.hit.distance) continue;
        if (node.isLeaf)
            visitLeaf(s, node.ref, node.entry);
        else
            top = pushChildren(s, node.ref, s.hit.distance, stack, top);
    }
}

// ---------------------------------------------------------------------------------------------------
// Radius other than 0: slabs widened by the radius, tested with divisions when each node's turn comes.
// ---------------------------------------------------------------------------------------------------

/// Entry distance of a node whose x, y, z bounds are plane[0..5][lane], or 3.4028235e38 for a miss.
float wideSlabEntry(const CastState& s, const float* const* plane, int lane, float D)
{
    const float radius = s.ray.radius;
    float tmin = 0.0f;
    float tmax = D;
    for (int a = 0; a < 3; ++a) {
        const float o = s.ray.origin[a];
        const float lo = plane[2 * a][lane] - radius;
        const float hi = plane[2 * a + 1][lane] + radius;
        const float c = s.component[a];
        if (c == 0.0f) {
            if (lo > o || o > hi) return floatMax;
        } else {
            const float tlo = (lo - o) / c;
            const float thi = (hi - o) / c;
            if (c > 0.0f) {
                tmin = maxOf(tlo, tmin);
                tmax = minOf(thi, tmax);
            } else {
                tmin = maxOf(thi, tmin);
                tmax = minOf(tlo, tmax);
            }
            if (tmin > tmax) return floatMax;
        }
    }
    return tmin;
}

void castWideRay(CastState& s)
{
    const KdopTree& tree = *s.tree;
    // A node is named by its parent branch and its place there; the root has no parent (-1).
    struct Pending {
        int parent;
        int lane;
    };
    Pending stack[stackSize];
    int top = 0;
    stack[top++] = Pending{-1, 0};
    while (top > 0) {
        const Pending node = stack[--top];
        const float D = s.hit.distance;
        float entry;
        int branchIndex;
        bool isLeaf;
        int leafIndex = 0;
        if (node.parent < 0) {
            const float* const plane[6] = {&tree.rootSlab[0], &tree.rootSlab[1], &tree.rootSlab[2],
                                           &tree.rootSlab[3], &tree.rootSlab[4], &tree.rootSlab[5]};
            entry = wideSlabEntry(s, plane, 0, D);
            branchIndex = 0;
            isLeaf = false;
        } else {
            const SlabRows rows(tree, node.parent);
            entry = wideSlabEntry(s, rows.row, node.lane, D);
            isLeaf = (tree.branchInfo[node.parent].leafMask >> node.lane) & 1u;
            branchIndex = tree.branchChildren(node.parent)[node.lane];
            leafIndex = branchIndex;
        }
        if (entry >= D) continue;
        if (isLeaf) {
            visitLeaf(s, leafIndex, entry);
            continue;
        }
        const KdopBranchInfo& branch = tree.branchInfo[branchIndex];
        if (s.component[branch.splitAxis] > 0.0f) {
            for (int c = branch.childCount - 1; c >= 0; --c)
                stack[top++] = Pending{branchIndex, c};
        } else {
            for (int c = 0; c < branch.childCount; ++c)
                stack[top++] = Pending{branchIndex, c};
        }
    }
}

} // namespace

int kdopTreeRayCast(const KdopTree* tree, const float origin[3], const float direction[3], float radius, RayHit* hit,
                    KdopLeafCallback callback, void* userData, int flags)
{
    CastState s;
    s.tree = tree;
    s.callback = callback;
    s.userData = userData;
    setUpCast(s, origin, direction, radius, flags);
    if (hit) {
        s.hit = *hit;
    } else {
        s.hit = RayHit{};
        s.hit.index = -1;
        s.hit.distance = noHitDistance;
    }
    // The root exists once balanced; without leaves it has no children and nothing can be hit.
    if (tree->branchCount > 0 && tree->branchInfo[0].childCount > 0) {
        if (radius == 0.0f)
            castThinRay(s);
        else
            castWideRay(s);
    }
    if (hit) *hit = s.hit;
    return s.hit.index;
}

} // namespace Analysis
