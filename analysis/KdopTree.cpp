// SPDX-License-Identifier: MIT
// KdopTree construction and balancing. The tree is complete and flat: leaves are ordered by a
// multi-way selection on their bound maxima, level by level, so that its shape (and with it the order in
// which a ray meets leaves at equal distance) depends only on the leaves' bounds and insertion order.
#include "analysis/KdopTree.h"

#include "analysis/ThreadSlices.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace Analysis {

const float kdopAxes[13][3] = {
    {1.0f, 0.0f, 0.0f},  {0.0f, 1.0f, 0.0f},   {0.0f, 0.0f, 1.0f},  {1.0f, 1.0f, 1.0f}, {1.0f, -1.0f, 1.0f},
    {1.0f, 1.0f, -1.0f}, {1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 0.0f},  {1.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 1.0f},
    {1.0f, -1.0f, 0.0f}, {1.0f, 0.0f, -1.0f},  {0.0f, 1.0f, -1.0f},
};

namespace {

/// Branches needed for L leaves with branching factor m.
int branchCountFor(int leaves, int m)
{
    return std::max(1, (leaves - 3 + m) / (m - 1));
}

/// Split axis from the x, y, z extents of a bound: the longest, with ties going to the later axis.
std::int8_t splitAxisOf(const float* bound)
{
    const float ex = bound[1] - bound[0];
    const float ey = bound[3] - bound[2];
    const float ez = bound[5] - bound[4];
    if (ex > ey) return ex > ez ? 0 : 2;
    return ey > ez ? 1 : 2;
}

/// Sizes of the implicit complete tree over L leaves and the mapping from a node's position within its
/// level to its first leaf slot. The last level is filled from the left, so the leaf ranges of the
/// nodes on the level above the leaves shrink from m to 1 at the boundary remainLeaves.
class ImplicitTree {
public:
    ImplicitTree(int leaves, int m) : leafCount(leaves)
    {
        std::int64_t power = 1;
        while (power < leaves)
            power *= m;
        perChild[0] = power;
        perLevel[0] = 1;
        for (int d = 1; d < depthLimit && perChild[d - 1] != 0; ++d) {
            perLevel[d] = m * perLevel[d - 1];
            perChild[d] = perChild[d - 1] / m;
        }
        const std::int64_t remain = leaves - perChild[1];
        const std::int64_t extra = (remain - 2 + m) / (m - 1);
        remainLeaves = remain + extra;
    }

    /// First leaf slot of node q on level depth (q = 0 is the level's first node).
    int leafIndex(int depth, std::int64_t q) const
    {
        const std::int64_t x = q * perChild[depth - 1];
        if (x <= remainLeaves) return static_cast<int>(x);
        if (perChild[depth] != 0) return static_cast<int>(leafCount - (perLevel[depth - 1] - q) * perChild[depth]);
        return static_cast<int>(remainLeaves);
    }

private:
    static constexpr int depthLimit = 32;
    std::int64_t perChild[depthLimit + 1] = {};
    std::int64_t perLevel[depthLimit + 1] = {};
    std::int64_t remainLeaves = 0;
    std::int64_t leafCount;
};

/// Multi-way selection of the leaf slots: after it, every slot in [s[k], s[k+1]) has a key not greater
/// than any key in [s[k+1], s[m]). Quickselect with a median-of-three pivot, finished by insertion sort.
///
/// A key is read from its leaf's bound through the slot table, or, with `slotKeys` given, from a copy
/// indexed by slot that moves with the table. The copy holds the same keys, so the same comparisons and
/// moves happen in the same order; it only spares a cache miss per key on a large tree, where the bounds
/// are far bigger than the cache and the slot table sends every read to another leaf.
class SlotPartition {
public:
    SlotPartition(KdopTree& kdop, int axis, float* slotKeys = nullptr)
        : tree(kdop), keyOffset(2 * axis + 1), keys(slotKeys)
    {
    }

    void run(const int* splits, int m)
    {
        if (keys)
            for (int slot = splits[0]; slot < splits[m]; ++slot)
                keys[slot] = tree.nodeBounds(tree.nodeTable[slot])[keyOffset];
        for (int k = 0; k + 1 < m; ++k) {
            int begin = splits[k];
            int end = splits[m];
            if (begin >= end) return;
            const int target = splits[k + 1];
            while (end - begin > 3) {
                const int p = hoarePartition(begin, end, medianOfThree(begin, (begin + end) / 2, end - 1));
                if (p > target)
                    end = p;
                else
                    begin = p;
            }
            insertionSort(begin, end);
        }
    }

private:
    float key(int slot) const { return keys ? keys[slot] : tree.nodeBounds(tree.nodeTable[slot])[keyOffset]; }

    float medianOfThree(int lo, int mid, int hi) const
    {
        if (key(lo) > key(mid)) {
            if (key(mid) > key(hi)) return key(mid);
            return key(lo) > key(hi) ? key(hi) : key(lo);
        }
        if (key(mid) > key(hi)) return key(lo) > key(hi) ? key(lo) : key(hi);
        return key(mid);
    }

    int hoarePartition(int lo, int hi, float pivot)
    {
        int p = lo;
        int q = hi;
        for (;;) {
            while (key(p) < pivot)
                ++p;
            --q;
            while (pivot < key(q))
                --q;
            if (!(p < q)) return p;
            std::swap(tree.nodeTable[p], tree.nodeTable[q]);
            if (keys) std::swap(keys[p], keys[q]);
            ++p;
        }
    }

    void insertionSort(int lo, int hi)
    {
        for (int i = lo + 1; i < hi; ++i) {
            const int moving = tree.nodeTable[i];
            const float movingKey = key(i);
            int j = i;
            // Moves left only past strictly greater keys, so equal keys keep their order.
            for (; j > lo && key(j - 1) > movingKey; --j) {
                tree.nodeTable[j] = tree.nodeTable[j - 1];
                if (keys) keys[j] = keys[j - 1];
            }
            tree.nodeTable[j] = moving;
            if (keys) keys[j] = movingKey;
        }
    }

    KdopTree& tree;
    int keyOffset;
    float* keys;
};

/// Merged bounds of the leaves in slots [start, end), written to out (2 * endAxis floats).
void mergeSlotBounds(const KdopTree& tree, int start, int end, float* out, bool onePass)
{
    if (onePass) {
        // Each leaf's bound read once for all its axes. Per axis the slots are still met in slot order, with
        // the same comparisons, so every merged plane is the axis-by-axis pass's, ties and NaNs alike.
        float lo[13], hi[13];
        for (int a = tree.firstAxis; a < tree.endAxis; ++a) {
            lo[a] = floatMax;
            hi[a] = -floatMax;
        }
        for (int slot = start; slot < end; ++slot) {
            const float* b = tree.nodeBounds(tree.nodeTable[slot]);
            for (int a = tree.firstAxis; a < tree.endAxis; ++a) {
                if (b[2 * a] < lo[a]) lo[a] = b[2 * a];
                if (b[2 * a + 1] > hi[a]) hi[a] = b[2 * a + 1];
            }
        }
        for (int a = tree.firstAxis; a < tree.endAxis; ++a) {
            out[2 * a] = lo[a];
            out[2 * a + 1] = hi[a];
        }
        return;
    }
    for (int a = tree.firstAxis; a < tree.endAxis; ++a) {
        float lo = floatMax;
        float hi = -floatMax;
        for (int slot = start; slot < end; ++slot) {
            const float* b = tree.nodeBounds(tree.nodeTable[slot]);
            if (b[2 * a] < lo) lo = b[2 * a];
            if (b[2 * a + 1] > hi) hi = b[2 * a + 1];
        }
        out[2 * a] = lo;
        out[2 * a + 1] = hi;
    }
}

/// Splits branch j (level start i, next level start iStop) into up to m children. With `slotKeys` (one
/// float per leaf slot) the partition reads its keys from there and the bounds are merged in one pass.
void splitBranch(KdopTree& tree, const ImplicitTree& shape, int j, int i, int iStop, int depth, float* slotKeys)
{
    const int L = tree.leafCount;
    const int m = tree.branchingFactor;
    const int node = L + j - 1;
    KdopNode& branch = tree.nodes[node];
    const int start = shape.leafIndex(depth, j - i);
    const int end = shape.leafIndex(depth, j - i + 1);

    float* bound = tree.nodeBounds(node);
    mergeSlotBounds(tree, start, end, bound, slotKeys != nullptr);
    branch.splitAxis = splitAxisOf(bound);

    // Slot boundaries of the m children on the next level, then order the slots accordingly.
    int splits[33];
    splits[0] = start;
    splits[m] = end;
    const std::int64_t firstChild = static_cast<std::int64_t>(m) * j + 2 - m;
    for (int k = 1; k < m; ++k)
        splits[k] = shape.leafIndex(depth + 1, firstChild - iStop + k);
    SlotPartition(tree, branch.splitAxis, slotKeys).run(splits, m);

    int* children = tree.children.data() + branch.childrenOffset;
    for (int k = 0; k < m; ++k) {
        const std::int64_t b = firstChild + k;
        const int a = shape.leafIndex(depth + 1, b - iStop);
        const int e = shape.leafIndex(depth + 1, b - iStop + 1);
        int child;
        if (e - a > 1)
            child = L + static_cast<int>(b) - 1;
        else if (e - a == 1)
            child = tree.nodeTable[a];
        else
            break;
        children[k] = child;
        tree.nodes[child].parent = node;
        branch.childCount = static_cast<std::int8_t>(k + 1);
    }
}

/// Branch j's record: its children's x, y, z bounds side by side, their references and the branch facts.
void writeRecord(KdopTree& tree, int j)
{
    const int L = tree.leafCount;
    const int width = tree.slabWidth;
    const KdopNode& branch = tree.nodes[L + j - 1];
    float* slab = tree.records[static_cast<std::size_t>(j - 1) * tree.recordLines].value;
    KdopBranchInfo info{0, branch.childCount, branch.splitAxis};
    for (int c = 0; c < branch.childCount; ++c) {
        const int node = tree.children[branch.childrenOffset + c];
        const float* b = tree.nodeBounds(node);
        for (int plane = 0; plane < 6; ++plane)
            slab[plane * width + c] = b[plane];
        int child;
        if (tree.nodes[node].childCount == 0) {
            child = tree.slotLeaf[static_cast<std::size_t>(node)];
            info.leafMask |= 1u << c;
        } else {
            child = node - L; // branch number - 1
        }
        std::memcpy(slab + recordChildOffset(width) + c, &child, sizeof(int));
    }
    std::memcpy(slab + recordInfoOffset(width), &info, sizeof(info));
}

/// Writes every branch's ray-cast record (children's x, y, z bounds side by side, their references and
/// the branch facts) and the caller's leaf index of every leaf slot, into the tables sized at creation.
void buildRecords(KdopTree& tree, int threads)
{
    const int L = tree.leafCount;
    // Every loop below writes each entry from one iteration only, so it runs in slices on the threads.
    constexpr int minPerThread = 8192;
    // slotLeaf first maps a leaf's storage entry to its slot, for the leaf references below.
    forThreadSlices(L, threads, minPerThread, [&](int begin, int end) {
        for (int slot = begin; slot < end; ++slot)
            tree.slotLeaf[static_cast<std::size_t>(tree.nodeTable[slot])] = slot;
    });
    forThreadSlices(tree.branchCount, threads, minPerThread / 8, [&](int begin, int end) {
        for (int j = begin + 1; j <= end; ++j)
            writeRecord(tree, j);
    });
    forThreadSlices(L, threads, minPerThread, [&](int begin, int end) {
        for (int slot = begin; slot < end; ++slot)
            tree.slotLeaf[static_cast<std::size_t>(slot)] = tree.nodes[tree.nodeTable[slot]].index;
    });
    std::memcpy(tree.rootSlab, tree.nodeBounds(L), sizeof(tree.rootSlab));
}

} // namespace

KdopTree* kdopTreeNew(int maxLeaves, float epsilon, int branchingFactor, int k)
{
    if (branchingFactor < 2 || branchingFactor > 32) return nullptr;
    int first;
    int end;
    switch (k) {
    case 26:
        first = 0;
        end = 13;
        break;
    case 18:
        first = 7;
        end = 13;
        break;
    case 14:
        first = 0;
        end = 7;
        break;
    case 8:
        first = 0;
        end = 4;
        break;
    case 6:
        first = 0;
        end = 3;
        break;
    default:
        return nullptr;
    }
    const int m = branchingFactor;
    auto* tree = new KdopTree();
    tree->epsilon = epsilon > machineEpsilon ? epsilon : machineEpsilon;
    tree->firstAxis = static_cast<std::uint8_t>(first);
    tree->endAxis = static_cast<std::uint8_t>(end);
    tree->k = static_cast<std::int8_t>(k);
    tree->branchingFactor = static_cast<std::int8_t>(m);
    tree->leafCount = 0;
    tree->branchCount = 0;
    tree->nodeCount = branchCountFor(maxLeaves, m) + m + maxLeaves;
    tree->slabWidth = (m + 3) / 4 * 4;
    // 6 slab rows and the child references of slabWidth entries each, then the branch facts.
    const int recordFloats =
        recordInfoOffset(tree->slabWidth) + static_cast<int>(sizeof(KdopBranchInfo) / sizeof(float));
    tree->recordLines = (recordFloats + 15) / 16;
    const auto nodeCount = static_cast<std::size_t>(tree->nodeCount);
    tree->nodeTable.assign(nodeCount, -1);
    tree->nodes.assign(nodeCount, KdopNode{0, -1, 0, 0, 0});
    tree->bounds.assign(nodeCount * static_cast<std::size_t>(tree->boundStride()), 0.0f);
    // Children slices exist for branches only; a branch's storage entry is never below the leaf count.
    tree->children.assign((nodeCount - static_cast<std::size_t>(std::max(maxLeaves, 0))) * m, -1);
    // Insertion may go a little beyond maxLeaves (up to the node count); size for the node count.
    tree->records.assign(static_cast<std::size_t>(branchCountFor(tree->nodeCount, m)) * tree->recordLines,
                         KdopCacheLine{});
    tree->slotLeaf.assign(nodeCount, 0);
    std::memset(tree->rootSlab, 0, sizeof(tree->rootSlab));
    return tree;
}

namespace {

/// Whether kdopTreeInsert takes one more leaf. It is refused once the leaf count reaches the node count, and
/// already earlier: once the leaves plus the branches that balancing would add for them exceed the node
/// count. Balancing stores branch j at entry L + j - 1, so with L leaves it needs L + branchCountFor(L)
/// entries; a tree filled up to the node count (the only other limit) would write its branches past the
/// end of the node storage.
bool takesLeaf(const KdopTree& tree, int leafCount)
{
    if (tree.branchCount != 0 || leafCount >= tree.nodeCount) return false;
    const int grown = leafCount + 1;
    return grown + branchCountFor(grown, tree.branchingFactor) <= tree.nodeCount;
}

/// Leaf `node`'s index and bounds around its points, widened by epsilon.
void setLeaf(KdopTree& tree, int node, int index, const float* points, int pointCount)
{
    tree.nodeTable[node] = node;
    float* bound = tree.nodeBounds(node);
    for (int a = tree.firstAxis; a < tree.endAxis; ++a) {
        float lo = floatMax;
        float hi = -floatMax;
        const float* axis = kdopAxes[a];
        for (int p = 0; p < pointCount; ++p) {
            const float* point = points + 3 * p;
            const float d = axis[0] * point[0] + axis[1] * point[1] + axis[2] * point[2];
            if (d < lo) lo = d;
            if (d > hi) hi = d;
        }
        bound[2 * a] = lo;
        bound[2 * a + 1] = hi;
    }
    tree.nodes[node].index = index;
    for (int a = tree.firstAxis; a < tree.endAxis; ++a) {
        bound[2 * a] -= tree.epsilon;
        bound[2 * a + 1] += tree.epsilon;
    }
}

} // namespace

void kdopTreeInsert(KdopTree* tree, int index, const float* points, int pointCount)
{
    if (!takesLeaf(*tree, tree->leafCount)) return;
    setLeaf(*tree, tree->leafCount, index, points, pointCount);
    tree->leafCount++;
}

void kdopTreeInsertMany(KdopTree* tree, int firstIndex, const float* points, int pointsPerLeaf, int count, int threads)
{
    // Once one leaf is refused so is every later one (the leaf count stays), so the leaves taken are a prefix.
    int taken = 0;
    while (taken < count && takesLeaf(*tree, tree->leafCount + taken))
        ++taken;
    const int first = tree->leafCount;
    const std::size_t stride = 3 * static_cast<std::size_t>(pointsPerLeaf);
    constexpr int minLeavesPerThread = 8192;
    forThreadSlices(taken, threads, minLeavesPerThread, [&](int begin, int end) {
        for (int i = begin; i < end; ++i)
            setLeaf(*tree, first + i, firstIndex + i, points + stride * static_cast<std::size_t>(i), pointsPerLeaf);
    });
    tree->leafCount += taken;
}

namespace {

/// Splits branches [first, last) of one level: on the calling thread, or in `threads` contiguous parts.
void splitLevel(KdopTree& tree, const ImplicitTree& shape, int first, int last, int i, int iStop, int depth,
                int threads, float* slotKeys)
{
    // Every level orders all the slots once, so a level of a large tree is worth splitting as soon as it has
    // a branch per thread; a small tree is not worth a thread at all.
    constexpr int minLeavesForThreads = 16384;
    const int parts = tree.leafCount < minLeavesForThreads ? 1 : std::max(1, std::min(threads, last - first));
    auto split = [&](int from, int to) {
        for (int j = from; j < to; ++j)
            splitBranch(tree, shape, j, i, iStop, depth, slotKeys);
    };
    if (parts == 1) {
        split(first, last);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(parts - 1));
    auto bound = [&](int part) { return first + static_cast<int>(std::int64_t(last - first) * part / parts); };
    try {
        for (int part = 1; part < parts; ++part)
            helpers.emplace_back(split, bound(part), bound(part + 1));
    } catch (...) {
        for (std::thread& helper : helpers)
            helper.join();
        throw;
    }
    split(bound(0), bound(1));
    for (std::thread& helper : helpers)
        helper.join();
}

/// The balancing of kdopTreeBalance; `slotKeyCopy` gives the partitions a key copy indexed by slot.
void balance(KdopTree* tree, int threads, bool slotKeyCopy)
{
    if (tree->branchCount != 0) return;
    const int L = tree->leafCount;
    const int m = tree->branchingFactor;
    const int B = branchCountFor(L, m);
    // Branch j lives at storage entry L + j - 1 and owns children slice j - 1.
    for (int j = 1; j <= B; ++j) {
        KdopNode& branch = tree->nodes[L + j - 1];
        branch = KdopNode{(j - 1) * m, -1, 0, 0, 0};
    }

    if (L == 1) {
        KdopNode& root = tree->nodes[1];
        std::memcpy(tree->nodeBounds(1), tree->nodeBounds(0), sizeof(float) * tree->boundStride());
        root.splitAxis = splitAxisOf(tree->nodeBounds(1));
        root.childCount = 1;
        tree->children[root.childrenOffset] = 0;
        tree->nodes[0].parent = 1;
    } else {
        const ImplicitTree shape(L, m);
        // The branches of a level order disjoint slot ranges, so they share one copy.
        std::vector<float> slotKeys(slotKeyCopy ? static_cast<std::size_t>(L) : 0);
        int depth = 1;
        for (int i = 1; i <= B; ++depth) {
            const int iStop = m * i + 2 - m;
            const int last = std::min(B + 1, iStop);
            splitLevel(*tree, shape, i, last, i, iStop, depth, threads, slotKeyCopy ? slotKeys.data() : nullptr);
            i = iStop;
        }
    }

    for (int j = 0; j < B; ++j)
        tree->nodeTable[L + j] = L + j;
    tree->branchCount = B;
    buildRecords(*tree, threads);
}

} // namespace

void kdopTreeBalance(KdopTree* tree)
{
    balance(tree, 1, false);
}

void kdopTreeBalanceOnThreads(KdopTree* tree, int threads)
{
    balance(tree, threads, true);
}

void kdopTreeFree(KdopTree* tree)
{
    delete tree;
}

} // namespace Analysis
