// SPDX-License-Identifier: MIT
// The radius-0 walk of a KdopTree, templated on the leaf test so that a caller with a fixed test (the
// face tree) calls it directly rather than through a callback pointer: per-ray slab constants, the slab
// test of all children of a branch at once (SSE where available) and the depth-first traversal in the
// tree's visiting order.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "analysis/KdopTree.h"
#include "common/BitOps.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define MESHPROBE_KDOP_SSE 1
#endif

namespace Analysis {
namespace kdopwalk {

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

using meshprobe::common::highestBit;
using meshprobe::common::lowestBit;

/// Child reference c of a branch record (an int kept in the float record, copied out bytewise).
inline int childRef(const float* record, int width, int c)
{
    int child;
    std::memcpy(&child, record + recordChildOffset(width) + c, sizeof(int));
    return child;
}

/// Per-ray constants of the slab test.
struct SlabRay {
    float origin[3];
    float component[3];  ///< direction components, 0 where below the machine epsilon in magnitude
    float reciprocal[3]; ///< 1 / the unrounded component
    int nearPlane[3];    ///< slab plane (0..5) met first along each axis
    int farPlane[3];
};

inline void setUpSlabRay(SlabRay& ray, const float origin[3], const float direction[3])
{
    for (int a = 0; a < 3; ++a) {
        ray.origin[a] = origin[a];
        ray.component[a] = direction[a];
        ray.reciprocal[a] = 1.0f / direction[a];
        if (std::fabs(direction[a]) < machineEpsilon) ray.component[a] = 0.0f;
        ray.nearPlane[a] = 2 * a + (ray.reciprocal[a] < 0.0f ? 1 : 0);
        ray.farPlane[a] = 2 * a + (ray.reciprocal[a] < 0.0f ? 0 : 1);
    }
}

/// Shear constants of the watertight test: the dominant axis becomes z of the sheared ray space;
/// swapping x and y for a negative dominant component keeps the triangles' winding.
inline void setUpWatertight(WatertightPrecalc& pre, const float direction[3])
{
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
    pre.kx = kx;
    pre.ky = ky;
    pre.kz = kz;
    pre.Sz = 1.0f / direction[kz];
    pre.Sx = direction[kx] * pre.Sz;
    pre.Sy = direction[ky] * pre.Sz;
}

// ---------------------------------------------------------------------------------------------------
// At distance D a node is skipped when its entry is not before D, where the entry is 3.4028235e38 for
// a miss. The miss test has a part that does not depend on D (miss0) and the checks t1 > D. Since D
// only shrinks while a node waits on the stack, the node is tested once when its parent is reached and
// given a key with "skipped at D" <=> "key >= D" for every later D:
//   - miss0: key = 3.4028235e38;
//   - no NaN among t1x, t1y, t1z: any t1 > D implies entry = max(t1) > D, so key = entry;
//   - otherwise (a component of zero with the origin on a slab plane): the t1 > D checks of the
//     non-NaN t1 are not implied by the entry, and "t1 > D" is "the float below t1 >= D".
// ---------------------------------------------------------------------------------------------------

/// Key of a node that passed its test when some of t1x, t1y, t1z is NaN (see above).
float keyWithNaN(const float t1[3], float entry);

/// Scalar test of one node's x, y, z slabs (six rows in the order x min, x max, y min, ...) at
/// distance D. Returns whether the node is entered, with its key and entry.
inline bool testSlab(const SlabRay& ray, const float* const* plane, int lane, float D, float& key, float& entry)
{
    const float* o = ray.origin;
    const float* r = ray.reciprocal;
    const float t1x = (plane[ray.nearPlane[0]][lane] - o[0]) * r[0];
    const float t2x = (plane[ray.farPlane[0]][lane] - o[0]) * r[0];
    const float t1y = (plane[ray.nearPlane[1]][lane] - o[1]) * r[1];
    const float t2y = (plane[ray.farPlane[1]][lane] - o[1]) * r[1];
    const float t1z = (plane[ray.nearPlane[2]][lane] - o[2]) * r[2];
    const float t2z = (plane[ray.farPlane[2]][lane] - o[2]) * r[2];
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

/// The children of one branch that are entered at distance D, with their keys and entries.
struct ChildTest {
    float key[32];
    float entry[32];
    std::uint32_t entered;
};

/// Constants of testChildren for one ray and one record width, set up once per walk.
struct ChildSlabs {
    int width;
    int nearRow[3]; ///< offset of the near / far slab row of each axis in a record
    int farRow[3];
#if MESHPROBE_KDOP_SSE
    __m128 origin[3];
    __m128 reciprocal[3];
#endif
    ChildSlabs(const SlabRay& ray, int recordWidth) : width(recordWidth)
    {
        for (int a = 0; a < 3; ++a) {
            nearRow[a] = ray.nearPlane[a] * width;
            farRow[a] = ray.farPlane[a] * width;
#if MESHPROBE_KDOP_SSE
            origin[a] = _mm_set1_ps(ray.origin[a]);
            reciprocal[a] = _mm_set1_ps(ray.reciprocal[a]);
#endif
        }
    }
};

/// Tests all children of a branch record at distance D, with the result of testSlab for every child.
///
/// Vector lanes use a shorter but equivalent form. Let e = max(t1x, t1y, t1z) and f = min(t2x, t2y,
/// t2z). When none of the six distances is NaN and t1 <= t2 on each axis (a "regular" lane):
///   - some t1a > t2b with a != b  <=>  e > f, because the pairs with a = b never compare greater;
///   - some t2 < 0                 <=>  f < 0;
///   - some t1 > D                 <=>  e > D;
/// max and min of non-NaN floats are exact, so miss0, missD, the entry and the key come out as in
/// testSlab. A lane that is not regular (t1 <= t2 fails on some axis, NaN included, which one
/// "not less or equal" compare per axis detects) is redone by testSlab itself. t1 <= t2 holds for
/// every node with ordered, finite bounds, so the fallback only runs for NaN distances (a zero
/// direction component with the origin on a slab plane) and for bounds made of non-finite points.
template <int fixedWidth = 0>
inline void testChildren(const SlabRay& ray, const ChildSlabs& slabs, const float* record, int count, float D,
                         ChildTest& out)
{
    std::uint32_t entered = 0;
#if MESHPROBE_KDOP_SSE
    const __m128 zero = _mm_setzero_ps();
    const __m128 distance = _mm_set1_ps(D);
    const __m128 missValue = _mm_set1_ps(floatMax);
    std::uint32_t irregular = 0;
    // With a fixed width every lane of the record is tested (a fixed trip count); lanes past the
    // child count hold zeros and are masked off below.
    const int testedLanes = fixedWidth > 0 ? fixedWidth : count;
    for (int lane = 0; lane < testedLanes; lane += 4) {
        auto slabDistance = [&](int row, int axis) {
            return _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(record + row + lane), slabs.origin[axis]),
                              slabs.reciprocal[axis]);
        };
        const __m128 t1x = slabDistance(slabs.nearRow[0], 0);
        const __m128 t2x = slabDistance(slabs.farRow[0], 0);
        const __m128 t1y = slabDistance(slabs.nearRow[1], 1);
        const __m128 t2y = slabDistance(slabs.farRow[1], 1);
        const __m128 t1z = slabDistance(slabs.nearRow[2], 2);
        const __m128 t2z = slabDistance(slabs.farRow[2], 2);
        const __m128 e = _mm_max_ps(_mm_max_ps(t1x, t1y), t1z);
        const __m128 f = _mm_min_ps(_mm_min_ps(t2x, t2y), t2z);
        const __m128 miss0 = _mm_or_ps(_mm_cmpgt_ps(e, f), _mm_cmplt_ps(f, zero));
        const __m128 miss = _mm_or_ps(miss0, _mm_cmpgt_ps(e, distance));
        const __m128 entryValue = _mm_or_ps(_mm_and_ps(miss, missValue), _mm_andnot_ps(miss, e));
        const __m128 keyValue = _mm_or_ps(_mm_and_ps(miss0, missValue), _mm_andnot_ps(miss0, e));
        const __m128 skip = _mm_cmpge_ps(entryValue, distance);
        const __m128 notRegular =
            _mm_or_ps(_mm_or_ps(_mm_cmpnle_ps(t1x, t2x), _mm_cmpnle_ps(t1y, t2y)), _mm_cmpnle_ps(t1z, t2z));
        _mm_storeu_ps(out.key + lane, keyValue);
        _mm_storeu_ps(out.entry + lane, entryValue);
        entered |= static_cast<std::uint32_t>(~_mm_movemask_ps(skip) & 15) << lane;
        irregular |= static_cast<std::uint32_t>(_mm_movemask_ps(notRegular)) << lane;
    }
    const std::uint32_t lanes = count < 32 ? (1u << count) - 1u : ~0u;
    entered &= lanes;
    // Rare: redo the lanes that are not regular one by one.
    if ((irregular & lanes) != 0) {
        const int width = slabs.width;
        const float* const rows[6] = {
            record, record + width, record + 2 * width, record + 3 * width, record + 4 * width, record + 5 * width};
        for (std::uint32_t redo = irregular & lanes; redo != 0; redo &= redo - 1u) {
            const int c = static_cast<int>(lowestBit(redo));
            if (testSlab(ray, rows, c, D, out.key[c], out.entry[c]))
                entered |= 1u << c;
            else
                entered &= ~(1u << c);
        }
    }
#else
    const int width = slabs.width;
    const float* const rows[6] = {
        record, record + width, record + 2 * width, record + 3 * width, record + 4 * width, record + 5 * width};
    for (int c = 0; c < count; ++c)
        if (testSlab(ray, rows, c, D, out.key[c], out.entry[c])) entered |= 1u << c;
#endif
    out.entered = entered;
}

/// testChildren with its constants set up for this call alone.
inline void testChildren(const SlabRay& ray, const float* record, int width, int count, float D, ChildTest& out)
{
    testChildren(ray, ChildSlabs(ray, width), record, count, D, out);
}

/// Stack entry of the walk.
struct StackEntry {
    int ref; ///< leaf slot, or branch number - 1
    int isLeaf;
    float key;   ///< skip the entry once key >= current distance
    float entry; ///< entry distance, for a leaf test that takes it
};

/// Nearest-hit walk of a balanced tree with at least one leaf, radius 0. visitLeaf(slot, entry) runs
/// the leaf test and updates hit itself; hit.distance bounds the walk and only ever shrinks. Leaves
/// are offered in the tree's visiting order: depth first, children along the ray's direction on the
/// branch's split axis. The children of a branch whose children are all leaves are tested right
/// away in that order instead of going through the stack, which offers the same leaves in the same
/// order, each still skipped once its key is not before the current hit.
template <int fixedWidth, typename VisitLeaf>
void walkThinRayOfWidth(const KdopTree& tree, const SlabRay& ray, RayHit& hit, VisitLeaf& visitLeaf)
{
    StackEntry stack[stackSize];
    int top = 0;
    {
        const float* const plane[6] = {&tree.rootSlab[0], &tree.rootSlab[1], &tree.rootSlab[2],
                                       &tree.rootSlab[3], &tree.rootSlab[4], &tree.rootSlab[5]};
        float key;
        float entry;
        if (!testSlab(ray, plane, 0, hit.distance, key, entry)) return;
        stack[top++] = StackEntry{0, 0, key, entry};
    }
    const int width = fixedWidth > 0 ? fixedWidth : tree.slabWidth;
    const ChildSlabs slabs(ray, width);
    const float* records = tree.records.data()->value;
    const std::size_t recordFloats = 16 * static_cast<std::size_t>(tree.recordLines);
    ChildTest test;
    while (top > 0) {
        /* pop next node */
        const StackEntry node = stack[--top];
        if (node.key >= hit.distance) continue;
        if (node.isLeaf) {
            visitLeaf(node.ref, node.entry);
            continue;
        }
        /* test the branch's children together */
        const float* record = records + static_cast<std::size_t>(node.ref) * recordFloats;
        KdopBranchInfo info;
        std::memcpy(&info, record + recordInfoOffset(width), sizeof(info));
        testChildren<fixedWidth>(ray, slabs, record, info.childCount, hit.distance, test);
        std::uint32_t entered = test.entered;
        if (entered == 0) continue;
        const bool forward = ray.component[info.splitAxis] > 0.0f;
        const std::uint32_t allChildren = info.childCount < 32 ? (1u << info.childCount) - 1u : ~0u;
        if (info.leafMask == allChildren) {
            /* all leaves: offer them in visiting order */
            while (entered != 0) {
                const int c = static_cast<int>(forward ? lowestBit(entered) : highestBit(entered));
                entered &= ~(1u << c);
                if (test.key[c] >= hit.distance) continue;
                visitLeaf(childRef(record, width, c), test.entry[c]);
            }
            continue;
        }
        /* push in reverse visiting order */
        auto push = [&](int c) {
            stack[top++] = StackEntry{childRef(record, width, c), static_cast<int>((info.leafMask >> c) & 1u),
                                      test.key[c], test.entry[c]};
        };
        if (forward) {
            for (int c = info.childCount - 1; c >= 0; --c)
                if (entered & (1u << c)) push(c);
        } else {
            for (int c = 0; c < info.childCount; ++c)
                if (entered & (1u << c)) push(c);
        }
    }
}

/// The walk, with the record width fixed at compile time for the face tree's branching factor 8.
template <typename VisitLeaf>
void walkThinRay(const KdopTree& tree, const SlabRay& ray, RayHit& hit, VisitLeaf& visitLeaf)
{
    if (tree.slabWidth == 8)
        walkThinRayOfWidth<8>(tree, ray, hit, visitLeaf);
    else
        walkThinRayOfWidth<0>(tree, ray, hit, visitLeaf);
}

} // namespace kdopwalk
} // namespace Analysis
