// SPDX-License-Identifier: MIT
// The packet walk itself, written once for any vector width: FaceRayPacket.cpp includes this file once
// per instruction set, inside a namespace of its own, with L the lane operations of that set (Reg, width,
// fullMask, load/store, arithmetic, ordered compares, masks). Every operation is a plain IEEE single
// operation, lane by lane, so all widths give the same bits. Not a header to include anywhere else.

/// The vector's mask bits of ray vector v.
template <typename L> inline std::uint32_t vectorBits(std::uint32_t mask, int v)
{
    return (mask >> (L::width * v)) & L::fullMask;
}

template <typename L, int NV> struct PacketEntry {
    using Reg = typename L::Reg;
    static constexpr int rays = L::width * NV;
    int ref; ///< leaf slot, or branch number - 1
    int isLeaf;
    std::uint32_t mask;  ///< rays that entered the node
    std::uint32_t stamp; ///< the walk's hit count when the node was tested
    alignas(32) float key[rays];
    /// Highest non-NaN key on the path from the root to this node, per ray.
    alignas(32) float pathMax[rays];
};

template <typename L, int NV> class PacketWalk {
public:
    using Reg = typename L::Reg;
    static constexpr int rays = L::width * NV;

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
            reciprocal[a] = L::set1(slab.reciprocal[a]);
            shearedAxis[a] = sheared[a];
            // Plain compares, not fmin/fmax (a library call each): the box is used only when every origin
            // is finite (canCull), and which zero a tie of +0 and -0 keeps changes no product below.
            float low = origin[a][0];
            float high = low;
            for (int i = 1; i < count; ++i) {
                const float o = origin[a][i];
                low = o < low ? o : low;
                high = o > high ? o : high;
            }
            lowOrigin[a] = low;
            highOrigin[a] = high;
        }
        // The origin box bounds every ray only when no origin is NaN or infinite (a NaN ray enters every
        // node its test meets, since none of its compares holds).
        canCull = true;
        for (int a = 0; a < 3; ++a) {
            canCull = canCull && std::isfinite(slab.reciprocal[a]);
            for (int i = 0; i < count; ++i)
                canCull = canCull && std::isfinite(origin[a][i]);
        }
        regularRays = canCull && slab.reciprocal[0] != 0.0f && slab.reciprocal[1] != 0.0f && slab.reciprocal[2] != 0.0f;
    }

    void run(float limit, FacePacketHits& hits)
    {
        // A hit distance starts at the limit and only ever takes a smaller t (a NaN t is never nearer),
        // so no distance is NaN unless the limit is, and then the origin box is not used.
        canCull = canCull && !std::isnan(limit);
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
            PacketEntry<L, NV>& root = stack[top];
            root.ref = 0;
            root.isLeaf = 0;
            // The root's bounds as child 0 of a record, so that all rays test it at once like any child;
            // from a path maximum of -inf, a NaN key leaves -inf and any other key becomes its own.
            alignas(32) float rootRecord[6 * recordWidth] = {};
            alignas(32) float noPathMax[rays];
            for (int p = 0; p < 6; ++p)
                rootRecord[p * recordWidth] = tree.rootSlab[p];
            for (int i = 0; i < rays; ++i)
                noPathMax[i] = -infinity;
            const std::uint32_t everyRay = count == 32 ? ~0u : (1u << count) - 1u;
            root.mask = testChild(rootRecord, 0, everyRay, noPathMax, root.key, root.pathMax, false);
            root.stamp = hitStamp;
            if (root.mask == 0) return;
            ++top;
        }
        alignas(32) float pathMax[rays] = {}; // only the lanes of going rays are copied in and read
        while (top > 0) {
            const PacketEntry<L, NV>& node = stack[--top];
            // A ray goes on into the node unless the node's key is not before its current hit; with no
            // hit since the node's test, that is every ray that entered it (key < hit then and now).
            const std::uint32_t proceed = node.stamp == hitStamp ? node.mask : stillBefore(node.mask, node.key);
            if (proceed == 0) continue;
            if (node.isLeaf) {
                testLeaf(node.ref, proceed, node.pathMax);
                continue;
            }
            // The children go onto the stack over this entry: keep what is still needed.
            const int ref = node.ref;
            for (int v = 0; v < NV; ++v)
                if (vectorBits<L>(proceed, v) != 0)
                    L::store(pathMax + L::width * v, L::load(node.pathMax + L::width * v));
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
        std::uint32_t ordered = 0;
        const std::uint32_t candidates =
            canCull ? packetCandidates(record, proceed, ordered) & allChildren : allChildren;
        if (candidates == 0) return top;
        const std::uint32_t regular = regularRays ? ordered : 0u;

        const bool forward = slab.component[info.splitAxis] > 0.0f;
        if (info.leafMask != allChildren) {
            // Push in reverse visiting order, so that the first child is popped first. Every child is
            // tested at the same hit distances, so each is tested straight into its stack slot and the
            // slot is kept when some ray enters it.
            for (std::uint32_t left = candidates; left != 0;) {
                const int c = static_cast<int>(forward ? kdopwalk::highestBit(left) : kdopwalk::lowestBit(left));
                left &= ~(1u << c);
                PacketEntry<L, NV>& entry = stack[top];
                entry.mask =
                    testChild(record, c, proceed, parentPathMax, entry.key, entry.pathMax, (regular >> c) & 1u);
                if (entry.mask == 0) continue;
                entry.ref = kdopwalk::childRef(record, recordWidth, c);
                entry.isLeaf = static_cast<int>((info.leafMask >> c) & 1u);
                entry.stamp = hitStamp;
                prefetchNode(entry.ref, entry.isLeaf != 0);
                ++top;
            }
            return top;
        }
        std::uint32_t childMask[recordWidth] = {};
        const std::uint32_t stampAtTest = hitStamp;
        for (std::uint32_t left = candidates; left != 0; left &= left - 1u)
            prefetchNode(kdopwalk::childRef(record, recordWidth, static_cast<int>(kdopwalk::lowestBit(left))), true);
        for (std::uint32_t left = candidates; left != 0; left &= left - 1u) {
            const int c = static_cast<int>(kdopwalk::lowestBit(left));
            childMask[c] =
                testChild(record, c, proceed, parentPathMax, childKey[c], childPathMax[c], (regular >> c) & 1u);
        }
        // All leaves: offer them in visiting order, each ray re-checking its key against its hit.
        for (int k = 0; k < info.childCount; ++k) {
            const int c = forward ? k : info.childCount - 1 - k;
            if (childMask[c] == 0) continue;
            const std::uint32_t proceedLeaf =
                stampAtTest == hitStamp ? childMask[c] : stillBefore(childMask[c], childKey[c]);
            if (proceedLeaf != 0) testLeaf(kdopwalk::childRef(record, recordWidth, c), proceedLeaf, childPathMax[c]);
        }
        return top;
    }

    /// Starts loading a node that the walk may visit: a branch record's lines, or a leaf's corners.
    void prefetchNode(int ref, bool isLeaf) const
    {
        const char* start = isLeaf
                                ? reinterpret_cast<const char*>(slotCorners + 9 * static_cast<std::size_t>(ref))
                                : reinterpret_cast<const char*>(records + static_cast<std::size_t>(ref) * recordFloats);
        const int bytes = isLeaf ? 9 * 4 : static_cast<int>(recordFloats) * 4;
        for (int offset = 0; offset < bytes; offset += 64)
            __builtin_prefetch(start + offset);
        __builtin_prefetch(start + bytes - 1);
    }

    /// The rays of `mask` whose key still lies before their current hit.
    std::uint32_t stillBefore(std::uint32_t mask, const float* key) const
    {
        std::uint32_t before = 0;
        for (int v = 0; v < NV; ++v) {
            const std::uint32_t bits = vectorBits<L>(mask, v);
            if (bits == 0) continue;
            const Reg skip = L::ge(L::load(key + L::width * v), L::load(distance + L::width * v));
            before |= (~static_cast<std::uint32_t>(L::mask(skip)) & bits) << (L::width * v);
        }
        return before;
    }

    /// Children of the record that some ray of the packet may enter: a child is left out only when the
    /// origin box shows that every ray misses it. The bounds of such a child are ordered on every axis,
    /// so each ray's near distance is at most its far distance per axis, and the regular-lane form of
    /// the slab test (see testChildren) holds for every ray. `ordered` receives the children whose bounds
    /// are ordered (minimum <= maximum) on every axis, or none when the box is not used.
    std::uint32_t packetCandidates(const float* record, std::uint32_t proceed, std::uint32_t& ordered) const
    {
        // The largest current hit among the rays that go on (none is NaN: see run).
        Reg largest = L::set1(-infinity);
        for (int v = 0; v < NV; ++v) {
            const std::uint32_t bits = vectorBits<L>(proceed, v);
            if (bits == 0) continue;
            const Reg d = L::load(distance + L::width * v);
            largest = L::max(largest, L::select(L::laneMask(bits), d, L::set1(-infinity)));
        }
        const float farthest = L::largestLane(largest);
        // A missed node still has entry floatMax, which a hit distance beyond it does not skip.
        if (!(farthest <= floatMax)) {
            ordered = 0;
            return ~0u;
        }
        const Reg zero = L::zero();
        const Reg limitMax = L::set1(farthest);
        std::uint32_t candidates = 0;
        ordered = 0;
        for (int half = 0; half < recordWidth; half += L::width) {
            Reg lowEntry = L::set1(-infinity);
            Reg highExit = L::set1(infinity);
            Reg orderedLanes = L::allOnes();
            for (int a = 0; a < 3; ++a) {
                const Reg nearPlane = L::loadu(record + nearRow[a] + half);
                const Reg farPlane = L::loadu(record + farRow[a] + half);
                const Reg lo = L::set1(lowOrigin[a]);
                const Reg hi = L::set1(highOrigin[a]);
                const Reg nearA = L::mul(L::sub(nearPlane, lo), reciprocal[a]);
                const Reg nearB = L::mul(L::sub(nearPlane, hi), reciprocal[a]);
                const Reg farA = L::mul(L::sub(farPlane, lo), reciprocal[a]);
                const Reg farB = L::mul(L::sub(farPlane, hi), reciprocal[a]);
                lowEntry = L::max(lowEntry, L::min(nearA, nearB));
                highExit = L::min(highExit, L::max(farA, farB));
                const Reg minimum = L::loadu(record + 2 * a * recordWidth + half);
                const Reg maximum = L::loadu(record + (2 * a + 1) * recordWidth + half);
                orderedLanes = L::bitAnd(orderedLanes, L::le(minimum, maximum));
            }
            // Every ray: entry >= lowEntry and exit <= highExit, with its own hit at most limitMax.
            const Reg allMiss =
                L::bitOr(L::bitOr(L::gt(lowEntry, highExit), L::lt(highExit, zero)), L::gt(lowEntry, limitMax));
            const Reg dropped = L::bitAnd(allMiss, orderedLanes);
            candidates |= (~static_cast<std::uint32_t>(L::mask(dropped)) & L::fullMask) << half;
            ordered |= static_cast<std::uint32_t>(L::mask(orderedLanes)) << half;
        }
        return candidates;
    }

    /// Child c's slab test for every ray in `proceed`, as testChildren does it for one ray: the rays
    /// that enter it, with their keys and path maxima. `regular` says that every ray's near distance is
    /// at most its far one on each axis, so that no lane needs the scalar test.
    std::uint32_t testChild(const float* record, int c, std::uint32_t proceed, const float* parentPathMax, float* key,
                            float* pathMax, bool regular)
    {
        const Reg nearX = L::set1(record[nearRow[0] + c]);
        const Reg farX = L::set1(record[farRow[0] + c]);
        const Reg nearY = L::set1(record[nearRow[1] + c]);
        const Reg farY = L::set1(record[farRow[1] + c]);
        const Reg nearZ = L::set1(record[nearRow[2] + c]);
        const Reg farZ = L::set1(record[farRow[2] + c]);
        const Reg zero = L::zero();
        const Reg missValue = L::set1(floatMax);
        std::uint32_t entered = 0;
        std::uint32_t irregular = 0;
        for (int v = 0; v < NV; ++v) {
            const std::uint32_t bits = vectorBits<L>(proceed, v);
            if (bits == 0) continue;
            const int lane = L::width * v;
            const Reg ox = L::load(origin[0] + lane);
            const Reg oy = L::load(origin[1] + lane);
            const Reg oz = L::load(origin[2] + lane);
            const Reg D = L::load(distance + lane);
            const Reg t1x = L::mul(L::sub(nearX, ox), reciprocal[0]);
            const Reg t2x = L::mul(L::sub(farX, ox), reciprocal[0]);
            const Reg t1y = L::mul(L::sub(nearY, oy), reciprocal[1]);
            const Reg t2y = L::mul(L::sub(farY, oy), reciprocal[1]);
            const Reg t1z = L::mul(L::sub(nearZ, oz), reciprocal[2]);
            const Reg t2z = L::mul(L::sub(farZ, oz), reciprocal[2]);
            const Reg e = L::max(L::max(t1x, t1y), t1z);
            const Reg f = L::min(L::min(t2x, t2y), t2z);
            const Reg miss0 = L::bitOr(L::gt(e, f), L::lt(f, zero));
            const Reg miss = L::bitOr(miss0, L::gt(e, D));
            const Reg entryValue = L::select(miss, missValue, e);
            const Reg keyValue = L::select(miss0, missValue, e);
            const Reg skip = L::ge(entryValue, D);
            L::store(key + lane, keyValue);
            // A NaN key compares false and leaves the parent's value.
            const Reg parent = L::load(parentPathMax + lane);
            L::store(pathMax + lane, L::select(L::gt(keyValue, parent), keyValue, parent));
            entered |= (~static_cast<std::uint32_t>(L::mask(skip)) & bits) << lane;
            if (regular) continue;
            const Reg notRegular = L::bitOr(L::bitOr(L::nle(t1x, t2x), L::nle(t1y, t2y)), L::nle(t1z, t2z));
            irregular |= (static_cast<std::uint32_t>(L::mask(notRegular)) & bits) << lane;
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
                pathMax[i] = key[i] > parentPathMax[i] ? key[i] : parentPathMax[i];
            }
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
        const Reg sx = L::set1(pre.Sx);
        const Reg sy = L::set1(pre.Sy);
        const Reg sz = L::set1(pre.Sz);
        const Reg zero = L::zero();
        const Reg one = L::set1(1.0f);
        for (int v = 0; v < NV; ++v) {
            const std::uint32_t bits = vectorBits<L>(proceed, v);
            if (bits == 0) continue;
            const int lane = L::width * v;
            const Reg okx = L::load(origin[kx] + lane);
            const Reg oky = L::load(origin[ky] + lane);
            const Reg okz = L::load(origin[kz] + lane);
            const Reg ax0 = L::sub(L::set1(corner[kx]), okx);
            const Reg ay0 = L::sub(L::set1(corner[ky]), oky);
            const Reg az0 = L::sub(L::set1(corner[kz]), okz);
            const Reg ax1 = L::sub(L::set1(corner[3 + kx]), okx);
            const Reg ay1 = L::sub(L::set1(corner[3 + ky]), oky);
            const Reg az1 = L::sub(L::set1(corner[3 + kz]), okz);
            const Reg ax2 = L::sub(L::set1(corner[6 + kx]), okx);
            const Reg ay2 = L::sub(L::set1(corner[6 + ky]), oky);
            const Reg az2 = L::sub(L::set1(corner[6 + kz]), okz);
            const Reg x0 = L::sub(ax0, L::mul(sx, az0));
            const Reg y0 = L::sub(ay0, L::mul(sy, az0));
            const Reg x1 = L::sub(ax1, L::mul(sx, az1));
            const Reg y1 = L::sub(ay1, L::mul(sy, az1));
            const Reg x2 = L::sub(ax2, L::mul(sx, az2));
            const Reg y2 = L::sub(ay2, L::mul(sy, az2));
            const Reg U = L::sub(L::mul(x2, y1), L::mul(y2, x1));
            const Reg V = L::sub(L::mul(x0, y2), L::mul(y0, x2));
            const Reg W = L::sub(L::mul(x1, y0), L::mul(y1, x0));
            const Reg negative = L::bitOr(L::bitOr(L::lt(U, zero), L::lt(V, zero)), L::lt(W, zero));
            const Reg positive = L::bitOr(L::bitOr(L::gt(U, zero), L::gt(V, zero)), L::gt(W, zero));
            const Reg det = L::add(L::add(U, V), W);
            const Reg T = L::mul(L::add(L::add(L::mul(U, az0), L::mul(V, az1)), L::mul(W, az2)), sz);
            const Reg behind =
                L::bitOr(L::bitAnd(L::lt(T, zero), L::gt(det, zero)), L::bitAnd(L::gt(T, zero), L::lt(det, zero)));
            const Reg reject = L::bitOr(L::bitOr(L::bitAnd(negative, positive), L::eq(det, zero)), behind);
            const Reg t = L::mul(T, L::div(one, det));
            const Reg D = L::load(distance + lane);
            const Reg nearer = L::andNot(reject, L::gt(D, t));
            const std::uint32_t accepted = static_cast<std::uint32_t>(L::mask(nearer)) & bits;
            if (accepted == 0) continue;
            ++hitStamp;
            const Reg take = L::laneMask(accepted);
            L::store(distance + lane, L::select(take, t, D));
            // The face index is read only on a hit: most leaf tests miss, and it lies in another array.
            const int leafFace = slotFace[slot];
            for (std::uint32_t left = accepted; left != 0; left &= left - 1u)
                face[lane + static_cast<int>(kdopwalk::lowestBit(left))] = leafFace;
            // A hit below a bound entry on its path: a smaller limit could have skipped it.
            const Reg pm = L::load(leafPathMax + lane);
            const Reg suspect = L::bitAnd(take, L::lt(t, pm));
            if (L::mask(suspect) == 0) continue;
            const Reg low = L::load(suspectLow + lane);
            const Reg high = L::load(suspectHigh + lane);
            L::store(suspectLow + lane, L::select(suspect, L::min(low, t), low));
            L::store(suspectHigh + lane, L::select(suspect, L::max(high, pm), high));
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
    Reg reciprocal[3];
    float lowOrigin[3];
    float highOrigin[3];
    bool canCull;
    /// Every origin and reciprocal finite and no reciprocal zero: (b - o) * r then rounds monotonically
    /// in b with no NaN, so bounds ordered on an axis give every ray near <= far on it.
    bool regularRays;
    std::uint32_t hitStamp = 0; ///< accepted hits so far: a node tested at the same count needs no re-check
    alignas(32) float origin[3][rays];
    alignas(32) float distance[rays];
    alignas(32) float suspectLow[rays];
    alignas(32) float suspectHigh[rays];
    int face[rays];
    alignas(32) float childKey[recordWidth][rays];
    alignas(32) float childPathMax[recordWidth][rays];
    PacketEntry<L, NV> stack[packetStackSize];
};

template <typename L, int NV>
void castPacket(const FaceTree& faceTree, const float* origins, int count, const float direction[3], float limit,
                FacePacketHits& hits)
{
    PacketWalk<L, NV> walk(faceTree, origins, count, direction);
    walk.run(limit, hits);
}
