// SPDX-License-Identifier: MIT
// The packet walk of parallel rays through a face tree.
//
// Rays of one direction share the sign of every direction component, so they share the near and far
// slab planes and the child order at every branch: the depth-first order of the single-ray walk is one
// order for the whole packet. The walk keeps, per ray, an active mask bit on every stack entry, its own
// node keys and its own nearest hit. A node is entered by a ray exactly when that ray's own slab test
// against its own current hit passes, computed with the same operations as the single-ray walk (one
// ray per vector lane instead of one child per lane), and a leaf is tested for a ray exactly when the
// single-ray walk would test it. Each ray therefore meets the same leaves in the same order with the
// same distances, and keeps the same face: ties and all.
//
// Two things are only for speed and cannot change what a ray does:
//   - A branch's children are first tested against the whole packet at once with the packet's origin
//     box. (b - o) * r rounds monotonically in o, so the lowest and highest origin bound every ray's
//     slab distances exactly; a child is dropped only when every ray's own test must miss it.
//   - Each node record and each leaf's corners are read once for all rays.
#include "analysis/FaceRayPacket.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "analysis/KdopTreeWalk.h"

namespace Analysis {

bool rayHitAt(const FacePacketHits& hits, int ray, float limit, int& face, float& distance)
{
    // A smaller limit prunes more of the walk; that changes the ray's answer only through a hit that
    // lay below a bound entry which the smaller limit would no longer enter (rounding at a leaf bound).
    // The packet records the span of such hits; outside it the answer follows from the packet's own.
    const bool sameWalk = limit == hits.limit;
    if (!sameWalk && hits.suspectLow[ray] < limit && limit <= hits.suspectHigh[ray]) return false;
    if (hits.face[ray] >= 0 && hits.distance[ray] < limit) {
        face = hits.face[ray];
        distance = hits.distance[ray];
    } else {
        face = -1;
        distance = limit;
    }
    return true;
}

#if MESHPROBE_KDOP_SSE
namespace {

constexpr int laneWidth = 4;
constexpr int recordWidth = 8; // the face tree's branching factor, and so its record width
// At most (recordWidth - 1) entries wait per level, plus the one being expanded; fewer than 32 levels.
constexpr int packetStackSize = (recordWidth - 1) * 32 + 1;
constexpr float infinity = std::numeric_limits<float>::infinity();

inline __m128 select(__m128 mask, __m128 a, __m128 b)
{
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

/// The four mask bits of ray vector v.
inline std::uint32_t vectorBits(std::uint32_t mask, int v)
{
    return (mask >> (laneWidth * v)) & 15u;
}

/// All-ones lanes for the set bits of a four-bit mask.
inline __m128 laneMask(std::uint32_t bits)
{
    return _mm_castsi128_ps(
        _mm_set_epi32((bits & 8u) ? -1 : 0, (bits & 4u) ? -1 : 0, (bits & 2u) ? -1 : 0, (bits & 1u) ? -1 : 0));
}

template <int NV> struct PacketEntry {
    static constexpr int rays = laneWidth * NV;
    int ref; ///< leaf slot, or branch number - 1
    int isLeaf;
    std::uint32_t mask; ///< rays that entered the node
    alignas(16) float key[rays];
    /// Highest non-NaN key on the path from the root to this node, per ray.
    alignas(16) float pathMax[rays];
};

template <int NV> class PacketWalk {
public:
    static constexpr int rays = laneWidth * NV;

    PacketWalk(const FaceTree& faceTree, const float* origins, int rayCount, const float direction[3])
        : tree(*faceTree.tree), slotCorners(faceTree.slotCorners.data()), slotFace(faceTree.tree->slotLeaf.data()),
          records(faceTree.tree->records.data()->value),
          recordFloats(16 * static_cast<std::size_t>(faceTree.tree->recordLines)), count(rayCount)
    {
        kdopwalk::setUpSlabRay(slab, origins, direction);
        kdopwalk::setUpWatertight(pre, direction);
        // Lanes past the last ray repeat the first ray; their mask bits are never set.
        for (int i = 0; i < rays; ++i) {
            const float* o = origins + 3 * (i < count ? i : 0);
            for (int a = 0; a < 3; ++a)
                origin[a][i] = o[a];
        }
        const int sheared[3] = {pre.kx, pre.ky, pre.kz};
        for (int a = 0; a < 3; ++a) {
            nearRow[a] = slab.nearPlane[a] * recordWidth;
            farRow[a] = slab.farPlane[a] * recordWidth;
            reciprocal[a] = _mm_set1_ps(slab.reciprocal[a]);
            shearedAxis[a] = sheared[a];
            lowOrigin[a] = highOrigin[a] = origin[a][0];
            for (int i = 1; i < count; ++i) {
                lowOrigin[a] = std::fmin(lowOrigin[a], origin[a][i]);
                highOrigin[a] = std::fmax(highOrigin[a], origin[a][i]);
            }
        }
        canCull = std::isfinite(slab.reciprocal[0]) && std::isfinite(slab.reciprocal[1]) &&
                  std::isfinite(slab.reciprocal[2]) && std::isfinite(lowOrigin[0]) && std::isfinite(lowOrigin[1]) &&
                  std::isfinite(lowOrigin[2]) && std::isfinite(highOrigin[0]) && std::isfinite(highOrigin[1]) &&
                  std::isfinite(highOrigin[2]);
    }

    void run(float limit, FacePacketHits& hits)
    {
        for (int i = 0; i < rays; ++i) {
            distance[i] = limit;
            face[i] = -1;
            suspectLow[i] = infinity;
            suspectHigh[i] = -infinity;
        }
        if (tree.branchCount > 0 && tree.branchInfo(0).childCount > 0) walk();
        hits.count = count;
        hits.limit = limit;
        for (int i = 0; i < count; ++i) {
            hits.face[i] = face[i];
            hits.distance[i] = distance[i];
            hits.suspectLow[i] = suspectLow[i];
            hits.suspectHigh[i] = suspectHigh[i];
        }
    }

private:
    void walk()
    {
        int top = 0;
        {
            PacketEntry<NV>& root = stack[top];
            root.ref = 0;
            root.isLeaf = 0;
            root.mask = 0;
            const float* const plane[6] = {&tree.rootSlab[0], &tree.rootSlab[1], &tree.rootSlab[2],
                                           &tree.rootSlab[3], &tree.rootSlab[4], &tree.rootSlab[5]};
            for (int i = 0; i < count; ++i) {
                useOrigin(i);
                float entry;
                if (!kdopwalk::testSlab(slab, plane, 0, distance[i], root.key[i], entry)) continue;
                root.mask |= 1u << i;
                root.pathMax[i] = std::isnan(root.key[i]) ? -infinity : root.key[i];
            }
            if (root.mask == 0) return;
            ++top;
        }
        alignas(16) float pathMax[rays];
        while (top > 0) {
            const PacketEntry<NV>& node = stack[--top];
            // A ray goes on into the node unless the node's key is not before its current hit.
            std::uint32_t proceed = 0;
            for (int v = 0; v < NV; ++v) {
                const std::uint32_t bits = vectorBits(node.mask, v);
                if (bits == 0) continue;
                const __m128 skip =
                    _mm_cmpge_ps(_mm_load_ps(node.key + laneWidth * v), _mm_load_ps(distance + laneWidth * v));
                proceed |= (~static_cast<std::uint32_t>(_mm_movemask_ps(skip)) & bits) << (laneWidth * v);
            }
            if (proceed == 0) continue;
            if (node.isLeaf) {
                testLeaf(node.ref, proceed, node.pathMax);
                continue;
            }
            // The children go onto the stack over this entry: keep what is still needed.
            const int ref = node.ref;
            std::memcpy(pathMax, node.pathMax, sizeof(pathMax));
            top = expandBranch(ref, proceed, pathMax, top);
        }
    }

    /// Tests the children of branch `ref` for the rays in `proceed`; offers leaves of an all-leaf branch
    /// at once, pushes the entered children of any other. Returns the new stack top.
    int expandBranch(int ref, std::uint32_t proceed, const float* parentPathMax, int top)
    {
        const float* record = records + static_cast<std::size_t>(ref) * recordFloats;
        KdopBranchInfo info;
        std::memcpy(&info, record + recordInfoOffset(recordWidth), sizeof(info));
        const std::uint32_t allChildren = (1u << info.childCount) - 1u;
        const std::uint32_t candidates = canCull ? packetCandidates(record, proceed) & allChildren : allChildren;
        if (candidates == 0) return top;

        std::uint32_t childMask[recordWidth] = {};
        for (std::uint32_t left = candidates; left != 0; left &= left - 1u) {
            const int c = static_cast<int>(kdopwalk::lowestBit(left));
            childMask[c] = testChild(record, c, proceed, parentPathMax, childKey[c], childPathMax[c]);
        }
        const bool forward = slab.component[info.splitAxis] > 0.0f;
        if (info.leafMask == allChildren) {
            // All leaves: offer them in visiting order, each ray re-checking its key against its hit.
            for (int k = 0; k < info.childCount; ++k) {
                const int c = forward ? k : info.childCount - 1 - k;
                if (childMask[c] == 0) continue;
                std::uint32_t proceedLeaf = 0;
                for (int v = 0; v < NV; ++v) {
                    const std::uint32_t bits = vectorBits(childMask[c], v);
                    if (bits == 0) continue;
                    const __m128 skip =
                        _mm_cmpge_ps(_mm_load_ps(childKey[c] + laneWidth * v), _mm_load_ps(distance + laneWidth * v));
                    proceedLeaf |= (~static_cast<std::uint32_t>(_mm_movemask_ps(skip)) & bits) << (laneWidth * v);
                }
                if (proceedLeaf != 0)
                    testLeaf(kdopwalk::childRef(record, recordWidth, c), proceedLeaf, childPathMax[c]);
            }
            return top;
        }
        // Push in reverse visiting order, so that the first child is popped first.
        for (int k = 0; k < info.childCount; ++k) {
            const int c = forward ? info.childCount - 1 - k : k;
            if (childMask[c] == 0) continue;
            PacketEntry<NV>& entry = stack[top++];
            entry.ref = kdopwalk::childRef(record, recordWidth, c);
            entry.isLeaf = static_cast<int>((info.leafMask >> c) & 1u);
            entry.mask = childMask[c];
            std::memcpy(entry.key, childKey[c], sizeof(entry.key));
            std::memcpy(entry.pathMax, childPathMax[c], sizeof(entry.pathMax));
        }
        return top;
    }

    /// Children of the record that some ray of the packet may enter: a child is left out only when the
    /// origin box shows that every ray misses it. The bounds of such a child are ordered on every axis,
    /// so each ray's near distance is at most its far distance per axis, and the regular-lane form of
    /// the slab test (see testChildren) holds for every ray.
    std::uint32_t packetCandidates(const float* record, std::uint32_t proceed) const
    {
        float farthest = -infinity; // the largest current hit among the rays that go on
        for (std::uint32_t left = proceed; left != 0; left &= left - 1u) {
            const float d = distance[kdopwalk::lowestBit(left)];
            if (std::isnan(d)) return ~0u;
            farthest = d > farthest ? d : farthest;
        }
        // A missed node still has entry floatMax, which a hit distance beyond it does not skip.
        if (!(farthest <= floatMax)) return ~0u;
        const __m128 zero = _mm_setzero_ps();
        const __m128 limitMax = _mm_set1_ps(farthest);
        std::uint32_t candidates = 0;
        for (int half = 0; half < recordWidth; half += laneWidth) {
            __m128 lowEntry = _mm_set1_ps(-infinity);
            __m128 highExit = _mm_set1_ps(infinity);
            __m128 ordered = _mm_castsi128_ps(_mm_set1_epi32(-1));
            for (int a = 0; a < 3; ++a) {
                const __m128 nearPlane = _mm_loadu_ps(record + nearRow[a] + half);
                const __m128 farPlane = _mm_loadu_ps(record + farRow[a] + half);
                const __m128 lo = _mm_set1_ps(lowOrigin[a]);
                const __m128 hi = _mm_set1_ps(highOrigin[a]);
                const __m128 nearA = _mm_mul_ps(_mm_sub_ps(nearPlane, lo), reciprocal[a]);
                const __m128 nearB = _mm_mul_ps(_mm_sub_ps(nearPlane, hi), reciprocal[a]);
                const __m128 farA = _mm_mul_ps(_mm_sub_ps(farPlane, lo), reciprocal[a]);
                const __m128 farB = _mm_mul_ps(_mm_sub_ps(farPlane, hi), reciprocal[a]);
                lowEntry = _mm_max_ps(lowEntry, _mm_min_ps(nearA, nearB));
                highExit = _mm_min_ps(highExit, _mm_max_ps(farA, farB));
                const __m128 minimum = _mm_loadu_ps(record + 2 * a * recordWidth + half);
                const __m128 maximum = _mm_loadu_ps(record + (2 * a + 1) * recordWidth + half);
                ordered = _mm_and_ps(ordered, _mm_cmple_ps(minimum, maximum));
            }
            // Every ray: entry >= lowEntry and exit <= highExit, with its own hit at most limitMax.
            const __m128 allMiss = _mm_or_ps(_mm_or_ps(_mm_cmpgt_ps(lowEntry, highExit), _mm_cmplt_ps(highExit, zero)),
                                             _mm_cmpgt_ps(lowEntry, limitMax));
            const __m128 dropped = _mm_and_ps(allMiss, ordered);
            candidates |= (~static_cast<std::uint32_t>(_mm_movemask_ps(dropped)) & 15u) << half;
        }
        return candidates;
    }

    /// Child c's slab test for every ray in `proceed`, as testChildren does it for one ray: the rays
    /// that enter it, with their keys and path maxima.
    std::uint32_t testChild(const float* record, int c, std::uint32_t proceed, const float* parentPathMax, float* key,
                            float* pathMax)
    {
        const __m128 nearX = _mm_set1_ps(record[nearRow[0] + c]);
        const __m128 farX = _mm_set1_ps(record[farRow[0] + c]);
        const __m128 nearY = _mm_set1_ps(record[nearRow[1] + c]);
        const __m128 farY = _mm_set1_ps(record[farRow[1] + c]);
        const __m128 nearZ = _mm_set1_ps(record[nearRow[2] + c]);
        const __m128 farZ = _mm_set1_ps(record[farRow[2] + c]);
        const __m128 zero = _mm_setzero_ps();
        const __m128 missValue = _mm_set1_ps(floatMax);
        std::uint32_t entered = 0;
        std::uint32_t irregular = 0;
        for (int v = 0; v < NV; ++v) {
            const std::uint32_t bits = vectorBits(proceed, v);
            if (bits == 0) continue;
            const int lane = laneWidth * v;
            const __m128 ox = _mm_load_ps(origin[0] + lane);
            const __m128 oy = _mm_load_ps(origin[1] + lane);
            const __m128 oz = _mm_load_ps(origin[2] + lane);
            const __m128 D = _mm_load_ps(distance + lane);
            const __m128 t1x = _mm_mul_ps(_mm_sub_ps(nearX, ox), reciprocal[0]);
            const __m128 t2x = _mm_mul_ps(_mm_sub_ps(farX, ox), reciprocal[0]);
            const __m128 t1y = _mm_mul_ps(_mm_sub_ps(nearY, oy), reciprocal[1]);
            const __m128 t2y = _mm_mul_ps(_mm_sub_ps(farY, oy), reciprocal[1]);
            const __m128 t1z = _mm_mul_ps(_mm_sub_ps(nearZ, oz), reciprocal[2]);
            const __m128 t2z = _mm_mul_ps(_mm_sub_ps(farZ, oz), reciprocal[2]);
            const __m128 e = _mm_max_ps(_mm_max_ps(t1x, t1y), t1z);
            const __m128 f = _mm_min_ps(_mm_min_ps(t2x, t2y), t2z);
            const __m128 miss0 = _mm_or_ps(_mm_cmpgt_ps(e, f), _mm_cmplt_ps(f, zero));
            const __m128 miss = _mm_or_ps(miss0, _mm_cmpgt_ps(e, D));
            const __m128 entryValue = select(miss, missValue, e);
            const __m128 keyValue = select(miss0, missValue, e);
            const __m128 skip = _mm_cmpge_ps(entryValue, D);
            const __m128 notRegular =
                _mm_or_ps(_mm_or_ps(_mm_cmpnle_ps(t1x, t2x), _mm_cmpnle_ps(t1y, t2y)), _mm_cmpnle_ps(t1z, t2z));
            _mm_store_ps(key + lane, keyValue);
            entered |= (~static_cast<std::uint32_t>(_mm_movemask_ps(skip)) & bits) << lane;
            irregular |= (static_cast<std::uint32_t>(_mm_movemask_ps(notRegular)) & bits) << lane;
        }
        // Rare: lanes outside the short form are redone by the scalar test.
        if (irregular != 0) {
            const float* const rows[6] = {record,
                                          record + recordWidth,
                                          record + 2 * recordWidth,
                                          record + 3 * recordWidth,
                                          record + 4 * recordWidth,
                                          record + 5 * recordWidth};
            for (std::uint32_t redo = irregular; redo != 0; redo &= redo - 1u) {
                const int i = static_cast<int>(kdopwalk::lowestBit(redo));
                useOrigin(i);
                float entry;
                if (kdopwalk::testSlab(slab, rows, c, distance[i], key[i], entry))
                    entered |= 1u << i;
                else
                    entered &= ~(1u << i);
            }
        }
        for (int v = 0; v < NV; ++v) {
            if (vectorBits(entered, v) == 0) continue;
            const int lane = laneWidth * v;
            const __m128 k = _mm_load_ps(key + lane);
            const __m128 parent = _mm_load_ps(parentPathMax + lane);
            // A NaN key compares false and leaves the parent's value.
            _mm_store_ps(pathMax + lane, select(_mm_cmpgt_ps(k, parent), k, parent));
        }
        return entered;
    }

    /// The watertight test of leaf `slot` for the rays in `proceed`, with the operations of the
    /// single-ray test in the same order; a ray takes the face only when strictly nearer.
    void testLeaf(int slot, std::uint32_t proceed, const float* leafPathMax)
    {
        const float* corner = slotCorners + 9 * static_cast<std::size_t>(slot);
        const int kx = shearedAxis[0];
        const int ky = shearedAxis[1];
        const int kz = shearedAxis[2];
        const __m128 sx = _mm_set1_ps(pre.Sx);
        const __m128 sy = _mm_set1_ps(pre.Sy);
        const __m128 sz = _mm_set1_ps(pre.Sz);
        const __m128 zero = _mm_setzero_ps();
        const __m128 one = _mm_set1_ps(1.0f);
        const int leafFace = slotFace[slot];
        for (int v = 0; v < NV; ++v) {
            const std::uint32_t bits = vectorBits(proceed, v);
            if (bits == 0) continue;
            const int lane = laneWidth * v;
            const __m128 okx = _mm_load_ps(origin[kx] + lane);
            const __m128 oky = _mm_load_ps(origin[ky] + lane);
            const __m128 okz = _mm_load_ps(origin[kz] + lane);
            const __m128 ax0 = _mm_sub_ps(_mm_set1_ps(corner[kx]), okx);
            const __m128 ay0 = _mm_sub_ps(_mm_set1_ps(corner[ky]), oky);
            const __m128 az0 = _mm_sub_ps(_mm_set1_ps(corner[kz]), okz);
            const __m128 ax1 = _mm_sub_ps(_mm_set1_ps(corner[3 + kx]), okx);
            const __m128 ay1 = _mm_sub_ps(_mm_set1_ps(corner[3 + ky]), oky);
            const __m128 az1 = _mm_sub_ps(_mm_set1_ps(corner[3 + kz]), okz);
            const __m128 ax2 = _mm_sub_ps(_mm_set1_ps(corner[6 + kx]), okx);
            const __m128 ay2 = _mm_sub_ps(_mm_set1_ps(corner[6 + ky]), oky);
            const __m128 az2 = _mm_sub_ps(_mm_set1_ps(corner[6 + kz]), okz);
            const __m128 x0 = _mm_sub_ps(ax0, _mm_mul_ps(sx, az0));
            const __m128 y0 = _mm_sub_ps(ay0, _mm_mul_ps(sy, az0));
            const __m128 x1 = _mm_sub_ps(ax1, _mm_mul_ps(sx, az1));
            const __m128 y1 = _mm_sub_ps(ay1, _mm_mul_ps(sy, az1));
            const __m128 x2 = _mm_sub_ps(ax2, _mm_mul_ps(sx, az2));
            const __m128 y2 = _mm_sub_ps(ay2, _mm_mul_ps(sy, az2));
            const __m128 U = _mm_sub_ps(_mm_mul_ps(x2, y1), _mm_mul_ps(y2, x1));
            const __m128 V = _mm_sub_ps(_mm_mul_ps(x0, y2), _mm_mul_ps(y0, x2));
            const __m128 W = _mm_sub_ps(_mm_mul_ps(x1, y0), _mm_mul_ps(y1, x0));
            const __m128 negative =
                _mm_or_ps(_mm_or_ps(_mm_cmplt_ps(U, zero), _mm_cmplt_ps(V, zero)), _mm_cmplt_ps(W, zero));
            const __m128 positive =
                _mm_or_ps(_mm_or_ps(_mm_cmpgt_ps(U, zero), _mm_cmpgt_ps(V, zero)), _mm_cmpgt_ps(W, zero));
            const __m128 det = _mm_add_ps(_mm_add_ps(U, V), W);
            const __m128 T =
                _mm_mul_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(U, az0), _mm_mul_ps(V, az1)), _mm_mul_ps(W, az2)), sz);
            const __m128 behind = _mm_or_ps(_mm_and_ps(_mm_cmplt_ps(T, zero), _mm_cmpgt_ps(det, zero)),
                                            _mm_and_ps(_mm_cmpgt_ps(T, zero), _mm_cmplt_ps(det, zero)));
            const __m128 reject = _mm_or_ps(_mm_or_ps(_mm_and_ps(negative, positive), _mm_cmpeq_ps(det, zero)), behind);
            const __m128 t = _mm_mul_ps(T, _mm_div_ps(one, det));
            const __m128 D = _mm_load_ps(distance + lane);
            const __m128 nearer = _mm_andnot_ps(reject, _mm_cmpgt_ps(D, t));
            const std::uint32_t accepted = static_cast<std::uint32_t>(_mm_movemask_ps(nearer)) & bits;
            if (accepted == 0) continue;
            const __m128 take = laneMask(accepted);
            _mm_store_ps(distance + lane, select(take, t, D));
            for (std::uint32_t left = accepted; left != 0; left &= left - 1u)
                face[lane + static_cast<int>(kdopwalk::lowestBit(left))] = leafFace;
            // A hit below a bound entry on its path: a smaller limit could have skipped it.
            const __m128 pm = _mm_load_ps(leafPathMax + lane);
            const __m128 suspect = _mm_and_ps(take, _mm_cmplt_ps(t, pm));
            if (_mm_movemask_ps(suspect) == 0) continue;
            const __m128 low = _mm_load_ps(suspectLow + lane);
            const __m128 high = _mm_load_ps(suspectHigh + lane);
            _mm_store_ps(suspectLow + lane, select(suspect, _mm_min_ps(low, t), low));
            _mm_store_ps(suspectHigh + lane, select(suspect, _mm_max_ps(high, pm), high));
        }
    }

    void useOrigin(int i)
    {
        for (int a = 0; a < 3; ++a)
            slab.origin[a] = origin[a][i];
    }

    const KdopTree& tree;
    const float* slotCorners;
    const int* slotFace;
    const float* records;
    std::size_t recordFloats;
    int count;
    kdopwalk::SlabRay slab; ///< shared direction constants; origin set per ray for the scalar tests
    WatertightPrecalc pre;
    int nearRow[3];
    int farRow[3];
    int shearedAxis[3];
    __m128 reciprocal[3];
    float lowOrigin[3];
    float highOrigin[3];
    bool canCull;
    alignas(16) float origin[3][rays];
    alignas(16) float distance[rays];
    alignas(16) float suspectLow[rays];
    alignas(16) float suspectHigh[rays];
    int face[rays];
    alignas(16) float childKey[recordWidth][rays];
    alignas(16) float childPathMax[recordWidth][rays];
    PacketEntry<NV> stack[packetStackSize];
};

template <int NV>
void castPacket(const FaceTree& faceTree, const float* origins, int count, const float direction[3], float limit,
                FacePacketHits& hits)
{
    PacketWalk<NV> walk(faceTree, origins, count, direction);
    walk.run(limit, hits);
}

} // namespace
#endif

bool castFacePacket(const FaceTree& faceTree, const float* origins, int count, const float direction[3], float limit,
                    FacePacketHits& hits)
{
#if MESHPROBE_KDOP_SSE
    if (!faceTree.tree || faceTree.tree->slabWidth != recordWidth || count < 1 || count > maxPacketRays) return false;
    if (direction[0] == 0.0f && direction[1] == 0.0f && direction[2] == 0.0f) return false;
    if (count <= 8)
        castPacket<2>(faceTree, origins, count, direction, limit, hits);
    else if (count <= 16)
        castPacket<4>(faceTree, origins, count, direction, limit, hits);
    else
        castPacket<8>(faceTree, origins, count, direction, limit, hits);
    return true;
#else
    (void)faceTree;
    (void)origins;
    (void)count;
    (void)direction;
    (void)limit;
    (void)hits;
    return false;
#endif
}

} // namespace Analysis
