// SPDX-License-Identifier: MIT
// Tests of KdopTree: creation, the balanced shape, the visiting order that decides ties, and the fast
// ray cast against a literal node-by-node walk of the same tree.
#include "analysis/KdopTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace Analysis;

namespace {

struct TreeDeleter {
    void operator()(KdopTree* tree) const { kdopTreeFree(tree); }
};
using TreePtr = std::unique_ptr<KdopTree, TreeDeleter>;

/// An axis-aligned box as a two-point leaf.
void insertBox(KdopTree* tree, int index, float x0, float y0, float z0, float x1, float y1, float z1)
{
    const float points[6] = {x0, y0, z0, x1, y1, z1};
    kdopTreeInsert(tree, index, points, 2);
}

TreePtr balancedBoxes(const std::vector<std::array<float, 6>>& boxes, int branching = 8)
{
    TreePtr tree(kdopTreeNew(static_cast<int>(boxes.size()), 0.0f, branching, 8));
    for (std::size_t i = 0; i < boxes.size(); ++i)
        insertBox(tree.get(), static_cast<int>(i), boxes[i][0], boxes[i][1], boxes[i][2], boxes[i][3], boxes[i][4],
                  boxes[i][5]);
    kdopTreeBalance(tree.get());
    return tree;
}

int castIndex(const KdopTree* tree, std::array<float, 3> origin, std::array<float, 3> direction)
{
    return kdopTreeRayCast(tree, origin.data(), direction.data(), 0.0f, nullptr, nullptr, nullptr, 0);
}

// ------------------------------------------------------------------------------------------------
// A literal walk: one node at a time, recursive, each node tested when its turn comes, on the node
// storage, children table and bound table (not on the cast's own layout).
// ------------------------------------------------------------------------------------------------
struct LiteralWalk {
    const KdopTree& tree;
    KdopRay ray;
    WatertightPrecalc precalc;
    float component[3];
    float reciprocal[3];
    KdopLeafCallback callback;
    void* userData;
    RayHit hit;

    static float maxOf(float a, float b) { return a > b ? a : b; }
    static float minOf(float a, float b) { return a < b ? a : b; }

    float entryOf(const float* b) const
    {
        const float D = hit.distance;
        const float* o = ray.origin;
        if (ray.radius == 0.0f) {
            float t1[3], t2[3];
            for (int a = 0; a < 3; ++a) {
                const int nearSide = reciprocal[a] < 0.0f ? 1 : 0;
                t1[a] = (b[2 * a + nearSide] - o[a]) * reciprocal[a];
                t2[a] = (b[2 * a + 1 - nearSide] - o[a]) * reciprocal[a];
            }
            if (t1[0] > t2[1] || t1[1] > t2[0] || t1[0] > t2[2] || t1[2] > t2[0] || t1[1] > t2[2] || t1[2] > t2[1] ||
                t2[0] < 0 || t2[1] < 0 || t2[2] < 0 || t1[0] > D || t1[1] > D || t1[2] > D)
                return 3.4028235e38f;
            return maxOf(maxOf(t1[0], t1[1]), t1[2]);
        }
        float tmin = 0.0f;
        float tmax = D;
        for (int a = 0; a < 3; ++a) {
            const float lo = b[2 * a] - ray.radius;
            const float hi = b[2 * a + 1] + ray.radius;
            if (component[a] == 0.0f) {
                if (lo > o[a] || o[a] > hi) return 3.4028235e38f;
                continue;
            }
            const float tlo = (lo - o[a]) / component[a];
            const float thi = (hi - o[a]) / component[a];
            if (component[a] > 0) {
                tmin = maxOf(tlo, tmin);
                tmax = minOf(thi, tmax);
            } else {
                tmin = maxOf(thi, tmin);
                tmax = minOf(tlo, tmax);
            }
            if (tmin > tmax) return 3.4028235e38f;
        }
        return tmin;
    }

    void visit(int node)
    {
        const float entry = entryOf(tree.nodeBounds(node));
        if (entry >= hit.distance) return;
        const KdopNode& n = tree.nodes[node];
        if (n.childCount > 0) {
            const int* children = tree.children.data() + n.childrenOffset;
            if (component[n.splitAxis] > 0)
                for (int c = 0; c < n.childCount; ++c)
                    visit(children[c]);
            else
                for (int c = n.childCount - 1; c >= 0; --c)
                    visit(children[c]);
        } else if (callback) {
            callback(userData, n.index, ray, hit);
        } else {
            hit.index = n.index;
            for (int a = 0; a < 3; ++a)
                hit.point[a] = ray.origin[a] + ray.direction[a] * entry;
            hit.distance = entry;
        }
    }

    LiteralWalk(const KdopTree& t, const float* origin, const float* direction, float radius, RayHit start,
                KdopLeafCallback leafCallback, void* data)
        : tree(t), callback(leafCallback), userData(data), hit(start)
    {
        for (int a = 0; a < 3; ++a) {
            ray.origin[a] = origin[a];
            ray.direction[a] = direction[a];
            reciprocal[a] = 1.0f / direction[a];
            component[a] = std::fabs(direction[a]) < 1.1920929e-07f ? 0.0f : direction[a];
        }
        ray.radius = radius;
        ray.precalc = nullptr;
        if (tree.leafCount > 0) visit(tree.nodeTable[tree.leafCount]);
    }
};

bool sameHit(const RayHit& a, const RayHit& b)
{
    return a.index == b.index && std::memcmp(&a.distance, &b.distance, sizeof(float)) == 0 &&
           std::memcmp(a.point, b.point, sizeof(a.point)) == 0;
}

} // namespace

TEST(KdopTreeNew, RejectsInvalidBranchingAndBoundCounts)
{
    EXPECT_EQ(kdopTreeNew(10, 0.0f, 1, 8), nullptr);
    EXPECT_EQ(kdopTreeNew(10, 0.0f, 33, 8), nullptr);
    EXPECT_EQ(kdopTreeNew(10, 0.0f, 8, 10), nullptr);
    for (int k : {6, 8, 14, 18, 26}) {
        TreePtr tree(kdopTreeNew(10, 0.0f, 8, k));
        EXPECT_NE(tree, nullptr) << k;
    }
}

TEST(KdopTreeInsert, LeafBoundsAreWidenedByEpsilonOnEveryActiveAxis)
{
    EXPECT_EQ(TreePtr(kdopTreeNew(1, 1e-9f, 8, 8))->epsilon, 1.1920929e-07f); // never below machine epsilon
    TreePtr tree(kdopTreeNew(1, 0.25f, 8, 8));
    insertBox(tree.get(), 7, 1.0f, 2.0f, 3.0f, 2.0f, 4.0f, 5.0f);
    const float* b = tree->nodeBounds(0);
    EXPECT_EQ(b[0], 0.75f);
    EXPECT_EQ(b[1], 2.25f);
    EXPECT_EQ(b[2], 1.75f);
    EXPECT_EQ(b[3], 4.25f);
    // (1, 1, 1) diagonal: 1 + 2 + 3 = 6 and 2 + 4 + 5 = 11.
    EXPECT_EQ(b[6], 5.75f);
    EXPECT_EQ(b[7], 11.25f);
    EXPECT_EQ(tree->nodes[0].index, 7);
}

TEST(KdopTreeInsert, IgnoredAfterBalancing)
{
    TreePtr tree(kdopTreeNew(4, 0.0f, 8, 8));
    insertBox(tree.get(), 0, 0, 0, 0, 1, 1, 1);
    kdopTreeBalance(tree.get());
    insertBox(tree.get(), 1, 5, 5, 5, 6, 6, 6);
    EXPECT_EQ(tree->leafCount, 1);
    EXPECT_EQ(castIndex(tree.get(), {5.5f, 5.5f, -1.0f}, {0, 0, 1}), -1);
}

TEST(KdopTreeRayCast, EmptyTreeMissesEverything)
{
    TreePtr tree = balancedBoxes({});
    EXPECT_EQ(tree->branchCount, 1);
    EXPECT_EQ(tree->nodes[tree->nodeTable[0]].childCount, 0);
    EXPECT_EQ(castIndex(tree.get(), {0, 0, 0}, {1, 0, 0}), -1);
    EXPECT_EQ(castIndex(tree.get(), {0, 0, 0}, {0, 0, 0}), -1);
}

TEST(KdopTreeRayCast, OneLeafTreeHitsAtEntryDistance)
{
    TreePtr tree = balancedBoxes({{2, -1, -1, 3, 1, 1}});
    const KdopNode& root = tree->nodes[tree->nodeTable[1]];
    ASSERT_EQ(root.childCount, 1);
    EXPECT_EQ(tree->children[root.childrenOffset], 0);

    RayHit hit{};
    hit.index = -1;
    hit.distance = 100.0f;
    const float origin[3] = {0, 0, 0};
    const float direction[3] = {1, 0, 0};
    EXPECT_EQ(kdopTreeRayCast(tree.get(), origin, direction, 0.0f, &hit, nullptr, nullptr, 0), 0);
    // Entry at the x slab 2 - epsilon; the point is on the ray at that distance.
    EXPECT_EQ(hit.distance, 2.0f - 1.1920929e-07f);
    EXPECT_EQ(hit.point[0], hit.distance);

    // Away from the box, and a box beyond the maximum distance.
    EXPECT_EQ(castIndex(tree.get(), {0, 0, 0}, {-1, 0, 0}), -1);
    RayHit shortHit{};
    shortHit.index = -1;
    shortHit.distance = 1.5f;
    EXPECT_EQ(kdopTreeRayCast(tree.get(), origin, direction, 0.0f, &shortHit, nullptr, nullptr, 0), -1);
}

// Nine leaves, branching 8: the root has 8 children; the first is a branch over the two leaves with
// the smallest keys (maxima along the split axis), the other seven are single leaves in key order.
TEST(KdopTreeBalance, NineLeavesFillTheFirstChildFirst)
{
    // Unit boxes along x at shuffled positions; box i occupies [x_i, x_i + 1].
    const float xs[9] = {6, 2, 8, 0, 4, 7, 1, 5, 3};
    std::vector<std::array<float, 6>> boxes;
    for (float x : xs)
        boxes.push_back({x, 0, 0, x + 1, 1, 1});
    TreePtr tree = balancedBoxes(boxes);
    ASSERT_EQ(tree->branchCount, 2);
    const KdopNode& root = tree->nodes[9];
    EXPECT_EQ(root.splitAxis, 0);
    ASSERT_EQ(root.childCount, 8);
    const int* children = tree->children.data() + root.childrenOffset;
    EXPECT_EQ(children[0], 10); // branch 2
    const KdopNode& first = tree->nodes[10];
    ASSERT_EQ(first.childCount, 2);
    const int* grandChildren = tree->children.data() + first.childrenOffset;
    EXPECT_EQ(tree->nodes[grandChildren[0]].index, 3); // x = 0
    EXPECT_EQ(tree->nodes[grandChildren[1]].index, 6); // x = 1
    const int expected[7] = {1, 8, 4, 7, 0, 5, 2};     // x = 2 ... 8
    for (int c = 1; c < 8; ++c)
        EXPECT_EQ(tree->nodes[children[c]].index, expected[c - 1]) << c;
    EXPECT_EQ(tree->nodes[10].parent, 9);
    EXPECT_EQ(root.parent, -1);
}

// Every leaf and every branch of the balanced tree is reached exactly once from the root, and every branch
// holds at least two children (the root of a one-leaf tree one): at the leaf counts where the branch-count
// formula's rounding turns over (multiples of m - 1 plus 1, 2, 3) a branch too many or too few shows.
TEST(KdopTreeBalance, EveryLeafAndBranchIsReachedOnce)
{
    std::mt19937 random(8u);
    std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
    for (int m : {2, 3, 8, 32}) {
        std::vector<int> counts = {1, 2, 3, 4, 64, 65};
        for (int k = 1; k <= 4; ++k)
            for (int extra = 0; extra < 4; ++extra)
                counts.push_back(k * (m - 1) + extra);
        for (int leaves : counts) {
            std::vector<std::array<float, 6>> boxes;
            for (int i = 0; i < leaves; ++i) {
                const float x = coordinate(random), y = coordinate(random), z = coordinate(random);
                boxes.push_back({x, y, z, x + 1, y + 1, z + 1});
            }
            TreePtr tree = balancedBoxes(boxes, m);
            std::vector<int> leafSeen(static_cast<std::size_t>(leaves), 0);
            int branchesSeen = 0;
            const std::function<void(int)> visit = [&](int node) {
                const KdopNode& n = tree->nodes[node];
                if (n.childCount == 0) {
                    ++leafSeen[static_cast<std::size_t>(n.index)];
                    return;
                }
                ++branchesSeen;
                EXPECT_GE(n.childCount, leaves == 1 ? 1 : 2) << "m " << m << " leaves " << leaves;
                for (int c = 0; c < n.childCount; ++c)
                    visit(tree->children[n.childrenOffset + c]);
            };
            visit(tree->nodeTable[leaves]);
            EXPECT_EQ(branchesSeen, tree->branchCount) << "m " << m << " leaves " << leaves;
            EXPECT_EQ(leafSeen, std::vector<int>(static_cast<std::size_t>(leaves), 1))
                << "m " << m << " leaves " << leaves;
        }
    }
}

// The split axis is the longest of x, y, z with ties going to the later axis; leaves with equal keys keep
// their insertion order among the children.
TEST(KdopTreeBalance, SplitAxisTiesGoToTheLaterAxisAndEqualKeysKeepTheirOrder)
{
    const struct {
        std::array<float, 6> box;
        int axis;
    } cases[] = {{{0, 0, 0, 3, 1, 2}, 0}, {{0, 0, 0, 2, 1, 2}, 2}, {{0, 0, 0, 2, 2, 1}, 1},
                 {{0, 0, 0, 1, 2, 2}, 2}, {{0, 0, 0, 1, 1, 1}, 2}, {{0, 0, 0, 1, 3, 2}, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(balancedBoxes({c.box})->nodes[1].splitAxis, c.axis) << c.box[3] << c.box[4] << c.box[5];
    TreePtr same = balancedBoxes({{0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 1}});
    const KdopNode& root = same->nodes[3];
    ASSERT_EQ(root.childCount, 3);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(same->nodes[same->children[root.childrenOffset + c]].index, c);
}

// Two leaves entered at exactly the same distance: the one visited first keeps the hit. Along +y the
// boxes share the slab y = 0; children are visited in ascending key order (maximum x) only when the
// ray's x component is positive and not below the machine epsilon, otherwise from last to first.
class KdopTieOrder : public ::testing::TestWithParam<std::pair<float, int>> {};

TEST_P(KdopTieOrder, FirstVisitedLeafKeepsTheHit)
{
    TreePtr tree = balancedBoxes({{5, 0, 0, 6, 1, 1}, {5, 0, 0, 9, 1, 1}});
    ASSERT_EQ(tree->nodes[tree->nodeTable[2]].splitAxis, 0);
    const auto [xComponent, winner] = GetParam();
    EXPECT_EQ(castIndex(tree.get(), {5.5f, -10.0f, 0.5f}, {xComponent, 1.0f, 0.0f}), winner);
}

INSTANTIATE_TEST_SUITE_P(Directions, KdopTieOrder,
                         ::testing::Values(std::make_pair(0.01f, 0), std::make_pair(1e-3f, 0), std::make_pair(0.0f, 1),
                                           std::make_pair(-0.0f, 1), std::make_pair(1e-8f, 1),
                                           std::make_pair(-0.01f, 1)));

// The cast against the literal walk on seeded random boxes and rays, including axis-aligned rays whose
// origin lies exactly on a slab plane (0 * infinity in the slab test), zero directions, tiny
// components, an unbounded search distance and every branching factor in use.
class KdopTreeAgainstLiteralWalk : public ::testing::TestWithParam<int> {};

TEST_P(KdopTreeAgainstLiteralWalk, SameHitForEveryRay)
{
    const int branching = GetParam();
    std::mt19937 random(1234u + static_cast<unsigned>(branching));
    std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
    std::uniform_real_distribution<float> size(0.05f, 2.0f);
    std::uniform_int_distribution<int> pick(0, 9);

    for (int leaves : {1, 2, 7, 9, 64, 65, 300}) {
        std::vector<std::array<float, 6>> boxes;
        for (int i = 0; i < leaves; ++i) {
            const float x = std::round(coordinate(random)), y = coordinate(random), z = coordinate(random);
            boxes.push_back({x, y, z, x + std::round(size(random) * 2), y + size(random), z + size(random)});
        }
        TreePtr tree = balancedBoxes(boxes, branching);
        for (int r = 0; r < 400; ++r) {
            float origin[3] = {coordinate(random) * 1.5f, coordinate(random) * 1.5f, coordinate(random) * 1.5f};
            float direction[3] = {coordinate(random), coordinate(random), coordinate(random)};
            const int kind = pick(random);
            if (kind <= 2) {
                // Axis-aligned, origin x on a leaf's (widened) x slab.
                const auto& box = boxes[static_cast<std::size_t>(r) % boxes.size()];
                origin[0] = tree->nodeBounds(0)[r % 2];
                origin[1] = box[1] + 0.01f;
                direction[0] = 0.0f;
                direction[1] = kind == 0 ? 0.0f : 1.0f;
                direction[2] = kind == 2 ? -1.0f : 1.0f;
            } else if (kind == 3) {
                direction[0] = 1e-9f;
            } else if (kind == 4) {
                direction[0] = direction[1] = direction[2] = 0.0f;
            }
            const float radius = kind == 5 ? 0.3f : (kind == 6 ? -0.2f : 0.0f);
            RayHit start{};
            start.index = -1;
            start.distance = kind == 7 ? INFINITY : (kind == 8 ? 12.0f : 1.7014117e38f);

            // Kind 9 offers every leaf reached to a callback that records the order and shrinks the distance
            // (so that pruning takes part): the same leaves in the same order.
            const KdopLeafCallback record = [](void* data, int leaf, const KdopRay&, RayHit& hit) {
                static_cast<std::vector<int>*>(data)->push_back(leaf);
                if (leaf % 3 == 0) {
                    hit.index = leaf;
                    hit.distance = std::min(hit.distance, 40.0f) * 0.9f;
                }
            };
            std::vector<int> fastTrace, literalTrace;
            RayHit fast = start;
            kdopTreeRayCast(tree.get(), origin, direction, radius, &fast, kind == 9 ? record : nullptr, &fastTrace, 0);
            const LiteralWalk literal(*tree, origin, direction, radius, start, kind == 9 ? record : nullptr,
                                      &literalTrace);
            ASSERT_EQ(fastTrace, literalTrace) << "leaves " << leaves << " ray " << r;
            ASSERT_TRUE(sameHit(fast, literal.hit))
                << "leaves " << leaves << " ray " << r << " kind " << kind << ": " << fast.index << " at "
                << fast.distance << " vs " << literal.hit.index << " at " << literal.hit.distance;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Branching, KdopTreeAgainstLiteralWalk, ::testing::Values(2, 3, 8, 32));

TEST(KdopTreeRayCast, WatertightFlagFillsShearConstants)
{
    TreePtr tree = balancedBoxes({{0, 0, 0, 1, 1, 1}});
    struct Seen {
        WatertightPrecalc precalc;
        bool present = false;
    } seen;
    const KdopLeafCallback capture = [](void* data, int, const KdopRay& ray, RayHit&) {
        auto* s = static_cast<Seen*>(data);
        s->present = ray.precalc != nullptr;
        if (ray.precalc) s->precalc = *ray.precalc;
    };
    // Dominant -y: kz = 1, kx = 2, ky = 0, swapped to kx = 0, ky = 2 for the negative component.
    const float origin[3] = {-0.5f, 5.0f, 0.0f};
    const float direction[3] = {0.5f, -2.0f, 0.25f};
    kdopTreeRayCast(tree.get(), origin, direction, 0.0f, nullptr, capture, &seen, KdopRayWatertight);
    ASSERT_TRUE(seen.present);
    EXPECT_EQ(seen.precalc.kz, 1);
    EXPECT_EQ(seen.precalc.kx, 0);
    EXPECT_EQ(seen.precalc.ky, 2);
    EXPECT_EQ(seen.precalc.Sz, -0.5f);
    EXPECT_EQ(seen.precalc.Sx, -0.25f);
    EXPECT_EQ(seen.precalc.Sy, -0.125f);

    seen.present = true;
    kdopTreeRayCast(tree.get(), origin, direction, 0.0f, nullptr, capture, &seen, 0);
    EXPECT_FALSE(seen.present);
}

// A ray with a zero y component whose origin lies exactly on the leaves' y slab plane gives NaN for
// that slab. The entry (max of the three slab distances, NaN skipped) then comes from z alone, yet the
// x slab still rules the node out once the nearest hit lies before it: after leaf B is hit at about
// 2, leaf A (x slab at 5, z slab at -1) must be skipped, not hit at -1.
TEST(KdopTreeRayCast, NanSlabDoesNotHideALaterEntryOnAnotherAxis)
{
    TreePtr tree = balancedBoxes({{3, 0, 3, 4, 1, 9}, {5, 0, 0, 6, 1, 10}});
    const float origin[3] = {0.0f, tree->nodeBounds(0)[2], 1.0f};
    const float direction[3] = {1.0f, 0.0f, 1.0f};
    RayHit hit{};
    hit.index = -1;
    hit.distance = 1.7014117e38f;
    EXPECT_EQ(kdopTreeRayCast(tree.get(), origin, direction, 0.0f, &hit, nullptr, nullptr, 0), 0);
    EXPECT_NEAR(hit.distance, 2.0f, 1e-6f);
    const LiteralWalk literal(*tree, origin, direction, 0.0f, RayHit{-1, {}, {}, 1.7014117e38f}, nullptr, nullptr);
    EXPECT_TRUE(sameHit(hit, literal.hit));
}

namespace {

// Inserting many leaves at once takes the leaves that one-by-one inserts take (a prefix, when they do not
// all fit), with the same bounds and indices.
TEST(KdopTreeInsertMany, SameLeavesAsOneByOne)
{
    std::vector<std::array<float, 6>> boxes(50000);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const float x = static_cast<float>(i % 97) * 0.37f, y = static_cast<float>(i % 89) * 1.3f;
        boxes[i] = {x, y, -x, x + 0.25f, y + 2.0f, 1.0f - x};
    }
    for (const int capacity : {50000, 30000, 7})
        for (const int threads : {1, 2, 3}) {
            TreePtr one(kdopTreeNew(capacity, 0.0f, 8, 8));
            TreePtr many(kdopTreeNew(capacity, 0.0f, 8, 8));
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                const auto& b = boxes[i];
                insertBox(one.get(), 5 + static_cast<int>(i), b[0], b[1], b[2], b[3], b[4], b[5]);
            }
            kdopTreeInsertMany(many.get(), 5, boxes.data()->data(), 2, static_cast<int>(boxes.size()), threads);
            const std::string where =
                std::to_string(capacity) + " leaves' room, " + std::to_string(threads) + " threads";
            ASSERT_EQ(one->leafCount, many->leafCount) << where;
            EXPECT_EQ(one->leafCount == static_cast<int>(boxes.size()), capacity == 50000) << where;
            EXPECT_EQ(one->nodeTable, many->nodeTable) << where;
            EXPECT_EQ(std::memcmp(one->bounds.data(), many->bounds.data(), one->bounds.size() * sizeof(float)), 0)
                << where;
            for (int n = 0; n < one->leafCount; ++n)
                ASSERT_EQ(one->nodes[static_cast<std::size_t>(n)].index, many->nodes[static_cast<std::size_t>(n)].index)
                    << where << ", leaf " << n;
        }
}

// Balancing on threads, with the partitions' key copy, gives the tree that plain balancing gives, table for
// table: leaf slots, nodes, children, bounds and the ray-cast records. Boxes on a coarse lattice repeat sort
// keys, so the partitions meet ties; several branching factors and sizes give levels wide enough to be split.
// Tree 0 is plain kdopTreeBalance; the others are kdopTreeBalanceOnThreads on 1, 2 and 3 threads.
TEST(KdopTreeBalanceOnThreads, SameTreeAsOneThread)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> lattice(0, 40);
    for (int k : {6, 8, 14, 18, 26})
        for (int branching : {2, 8, 13})
            for (int leaves : {1, 100, 5000, 40000}) {
                TreePtr trees[4];
                const int threads[4] = {1, 1, 2, 3};
                std::vector<std::array<float, 6>> boxes(static_cast<std::size_t>(leaves));
                for (auto& box : boxes) {
                    const float x = static_cast<float>(lattice(random)), y = static_cast<float>(lattice(random)),
                                z = static_cast<float>(lattice(random));
                    box = {x, y, z, x + 1.5f, y + 0.5f, z + 2.0f};
                }
                for (int t = 0; t < 4; ++t) {
                    trees[t].reset(kdopTreeNew(leaves, 0.0f, branching, k));
                    if (t == 0)
                        for (int i = 0; i < leaves; ++i) {
                            const auto& b = boxes[static_cast<std::size_t>(i)];
                            insertBox(trees[t].get(), i, b[0], b[1], b[2], b[3], b[4], b[5]);
                        }
                    else
                        kdopTreeInsertMany(trees[t].get(), 0, boxes.data()->data(), 2, leaves, threads[t]);
                    if (t == 0)
                        kdopTreeBalance(trees[t].get());
                    else
                        kdopTreeBalanceOnThreads(trees[t].get(), threads[t]);
                }
                for (int t = 1; t < 4; ++t) {
                    const KdopTree& a = *trees[0];
                    const KdopTree& b = *trees[t];
                    const std::string where = std::to_string(leaves) + " leaves, " + std::to_string(k) +
                                              "-DOP, branching " + std::to_string(branching) + ", " +
                                              std::to_string(threads[t]) + " threads";
                    ASSERT_EQ(a.branchCount, b.branchCount) << where;
                    EXPECT_EQ(a.nodeTable, b.nodeTable) << where;
                    EXPECT_EQ(a.children, b.children) << where;
                    EXPECT_EQ(a.slotLeaf, b.slotLeaf) << where;
                    EXPECT_EQ(std::memcmp(a.bounds.data(), b.bounds.data(), a.bounds.size() * sizeof(float)), 0)
                        << where;
                    ASSERT_EQ(a.nodes.size(), b.nodes.size()) << where;
                    for (std::size_t n = 0; n < a.nodes.size(); ++n) {
                        const KdopNode& p = a.nodes[n];
                        const KdopNode& q = b.nodes[n];
                        ASSERT_TRUE(p.childrenOffset == q.childrenOffset && p.parent == q.parent &&
                                    p.index == q.index && p.childCount == q.childCount && p.splitAxis == q.splitAxis)
                            << where << ", node " << n;
                    }
                    ASSERT_EQ(a.records.size(), b.records.size()) << where;
                    EXPECT_EQ(std::memcmp(a.records.data(), b.records.data(), a.records.size() * sizeof(a.records[0])),
                              0)
                        << where;
                }
            }
}

} // namespace
