// SPDX-License-Identifier: MIT
// KdopTree: a bounding-volume tree of k-DOP bounded point sets, balanced breadth-first over an implicit
// complete tree, with a nearest-hit ray cast that calls back into the caller's exact leaf test.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// The tree keeps its C-style interface (kdopTreeNew, kdopTreeInsert, kdopTreeBalance, kdopTreeRayCast,
// kdopTreeFree on a plain struct, a leaf callback with a void* user pointer): it is the tree's fixed
// interface, and the face tree and its users are written against it.
namespace Analysis {

/// Largest finite float (FLT_MAX): the entry distance of a missed node, and where bound merges start.
constexpr float floatMax = 3.4028235e38f;
/// Single-precision machine epsilon (FLT_EPSILON, 2^-23): the smallest leaf margin, and the magnitude below
/// which a direction component counts as 0 in the slab test.
constexpr float machineEpsilon = 1.1920929e-07f;
/// Distance of a cast that starts without a hit record: 2^127, about half of floatMax. Any hit is nearer,
/// and a missed node (entry floatMax) still compares beyond it.
constexpr float noHitDistance = 1.7014117e38f;

/// Nearest hit of a ray cast; index -1 means no hit.
struct RayHit {
    int index;
    float point[3];
    float normal[3];
    float distance;
};

/// Per-ray set-up of the watertight ray/triangle test: the dominant axis kz, the two others kx, ky
/// (swapped for a negative dominant component to keep the winding), and the shear constants.
struct WatertightPrecalc {
    int kx, ky, kz;
    float Sx, Sy, Sz;
};

/// The ray as the leaf callback sees it.
struct KdopRay {
    float origin[3];
    float direction[3];
    float radius;
    const WatertightPrecalc* precalc; ///< null unless the cast asked for it
};

/// Exact test of one leaf; updates the hit record itself when the leaf is nearer.
using KdopLeafCallback = void (*)(void* userData, int leafIndex, const KdopRay& ray, RayHit& hit);

/// Flags of kdopTreeRayCast.
constexpr int KdopRayWatertight = 1;

/// A node as balancing lays it out: leaves first in storage, then branch j at storage entry leaves + j - 1.
struct KdopNode {
    int childrenOffset;     ///< start of this node's slice in the children table
    int parent;             ///< storage index of the parent, -1 for the root
    int index;              ///< the caller's leaf index (leaves only)
    std::int8_t childCount; ///< 0 marks a leaf
    std::int8_t splitAxis;  ///< 0, 1, 2 for x, y, z
};

/// Where the parts of a branch record start, in floats, for a record width (slabWidth) w: six slab rows of w
/// floats, then w child references, then the KdopBranchInfo.
constexpr int recordChildOffset(int width)
{
    return 6 * width;
}
constexpr int recordInfoOffset(int width)
{
    return 7 * width;
}

/// One 64-byte line of the ray cast's branch records.
struct alignas(64) KdopCacheLine {
    float value[16];
};

/// Per-branch facts the ray cast needs besides the children's slabs; the last part of a branch record.
struct KdopBranchInfo {
    std::uint32_t leafMask; ///< bit c set when child c is a leaf
    int childCount;
    int splitAxis;
};

struct KdopTree {
    std::vector<int> nodeTable;  ///< slots 0..leaves-1: leaves (reordered by balancing); then branches
    std::vector<KdopNode> nodes; ///< node storage: leaves, then branches (root first)
    std::vector<int> children;   ///< branching factor entries per branch: storage indices of children
    std::vector<float> bounds;   ///< 2 * endAxis floats per node: minimum, maximum per active axis
    // The layout walked by the ray cast: one record of whole cache lines per branch (branch number - 1),
    // so that a branch visit touches one contiguous block. A record holds the children's x min, x max,
    // y min, y max, z min and z max side by side (6 rows of slabWidth floats, so that all children are
    // tested together), then slabWidth child references (the leaf slot for a leaf, else branch number
    // - 1), then the KdopBranchInfo. Leaf children of a branch occupy consecutive slots.
    int slabWidth;                      ///< branching factor rounded up to a multiple of 4
    int recordLines;                    ///< cache lines per branch record
    std::vector<KdopCacheLine> records; ///< recordLines per branch
    std::vector<int> slotLeaf;          ///< the caller's leaf index of every leaf slot
    float rootSlab[6];                  ///< the root's own x, y, z bounds
    float epsilon;                      ///< margin added to both ends of every leaf bound (>= machineEpsilon)
    int leafCount;
    int branchCount;
    std::uint8_t firstAxis; ///< first active entry of kdopAxes
    std::uint8_t endAxis;   ///< one past the last active entry; bounds hold 2 * endAxis floats per node
    std::int8_t k;          ///< bound count chosen at creation (26, 18, 14, 8 or 6): it selects the active axes
    std::int8_t branchingFactor;
    int nodeCount;

    int boundStride() const { return 2 * endAxis; }
    const float* branchSlabs(int branch) const { return records[static_cast<std::size_t>(branch) * recordLines].value; }
    /// Child reference c of a branch (ints kept in the float record, copied out bytewise).
    int branchChild(int branch, int c) const
    {
        int child;
        std::memcpy(&child, branchSlabs(branch) + recordChildOffset(slabWidth) + c, sizeof(int));
        return child;
    }
    KdopBranchInfo branchInfo(int branch) const
    {
        KdopBranchInfo info;
        std::memcpy(&info, branchSlabs(branch) + recordInfoOffset(slabWidth), sizeof(info));
        return info;
    }
    float* nodeBounds(int node) { return bounds.data() + static_cast<std::size_t>(node) * boundStride(); }
    const float* nodeBounds(int node) const { return bounds.data() + static_cast<std::size_t>(node) * boundStride(); }
};

/// Creates an empty tree for up to maxLeaves leaves. Returns null for a branching factor outside 2..32
/// or a bound count k other than 26, 18, 14, 8 or 6. Every leaf is widened by epsilon (at least the
/// single-precision machine epsilon).
KdopTree* kdopTreeNew(int maxLeaves, float epsilon, int branchingFactor, int k);

/// Adds a leaf bounding pointCount float triples. Ignored after balancing or beyond capacity.
void kdopTreeInsert(KdopTree* tree, int index, const float* points, int pointCount);

/// kdopTreeInsert for `count` leaves in a row: leaf i has index firstIndex + i and the pointsPerLeaf
/// float triples at points + 3 * pointsPerLeaf * i. Each leaf's bounds depend on its own points only, so
/// they are computed on up to `threads` threads; the tree is the one the inserts one by one give.
void kdopTreeInsertMany(KdopTree* tree, int firstIndex, const float* points, int pointsPerLeaf, int count, int threads);

/// Builds every branch; no leaves can be added afterwards.
void kdopTreeBalance(KdopTree* tree);

/// kdopTreeBalance with the branches of each wide level split among `threads` threads (the calling thread
/// takes part). The branches of one level order disjoint slot ranges and write only their own nodes and
/// children's parent fields, so the tree comes out identical to kdopTreeBalance's. Its partitions read their
/// keys from a copy that moves with the slots (4 bytes per leaf, for the call), not from the leaves' bounds:
/// the same keys in the same comparisons, at a cache miss less per key on a large tree.
void kdopTreeBalanceOnThreads(KdopTree* tree, int threads);

/// Nearest leaf along the ray. hit may be null (the search then starts at no hit and distance
/// noHitDistance); otherwise its distance bounds the search and it receives the result. Without a
/// callback, a leaf counts as hit at its bound's entry distance.
/// @return the hit record's index after the cast (-1 for no hit)
int kdopTreeRayCast(const KdopTree* tree, const float origin[3], const float direction[3], float radius, RayHit* hit,
                    KdopLeafCallback callback, void* userData, int flags);

void kdopTreeFree(KdopTree* tree);

/// The 13 k-DOP axis directions, not normalised.
extern const float kdopAxes[13][3];

} // namespace Analysis
