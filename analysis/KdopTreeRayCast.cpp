// SPDX-License-Identifier: MIT
// Nearest-hit ray cast through a KdopTree. The walk is depth first: at a branch the children are visited
// in order along the ray's direction on the branch's split axis, and a node is entered only while its
// slab entry distance lies before the nearest hit so far. With radius 0 the walk (KdopTreeWalk.h) tests
// all children of a branch together when it reaches the branch, and re-checks each child against the
// nearest hit again when the child's turn comes; the visiting order, and so the leaf that keeps a tie,
// is the same as one node at a time. Other radii widen the slabs and test one node at a time.
#include "analysis/KdopTree.h"

#include <cmath>

#include "analysis/KdopTreeWalk.h"

namespace Analysis {
namespace kdopwalk {

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

} // namespace kdopwalk

namespace {

using kdopwalk::maxOf;
using kdopwalk::minOf;
using kdopwalk::stackSize;

/// Per-ray state of one cast.
struct CastState {
    const KdopTree* tree;
    KdopLeafCallback callback;
    void* userData;
    KdopRay ray;
    WatertightPrecalc precalc;
    kdopwalk::SlabRay slab;
    RayHit hit;
};

void setUpCast(CastState& s, const float origin[3], const float direction[3], float radius, int flags)
{
    kdopwalk::setUpSlabRay(s.slab, origin, direction);
    for (int a = 0; a < 3; ++a) {
        s.ray.origin[a] = origin[a];
        s.ray.direction[a] = direction[a];
    }
    s.ray.radius = radius;
    s.ray.precalc = nullptr;
    if (flags & KdopRayWatertight) {
        kdopwalk::setUpWatertight(s.precalc, direction);
        s.ray.precalc = &s.precalc;
    }
}

/// A leaf's turn: the caller's exact test, or without one a hit at the bound's entry distance.
inline void visitLeaf(CastState& s, int slot, float entry)
{
    const int leafIndex = s.tree->slotLeaf[static_cast<std::size_t>(slot)];
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
// Radius other than 0: slabs widened by the radius, tested with divisions when each node's turn comes.
// ---------------------------------------------------------------------------------------------------

/// Entry distance of a node whose x, y, z bounds are plane[0..5][lane], or floatMax for a miss.
float wideSlabEntry(const CastState& s, const float* const* plane, int lane, float D)
{
    const float radius = s.ray.radius;
    float tmin = 0.0f;
    float tmax = D;
    for (int a = 0; a < 3; ++a) {
        const float o = s.ray.origin[a];
        const float lo = plane[2 * a][lane] - radius;
        const float hi = plane[2 * a + 1][lane] + radius;
        const float c = s.slab.component[a];
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
            const float* record = tree.branchSlabs(node.parent);
            const int width = tree.slabWidth;
            const float* const rows[6] = {
                record, record + width, record + 2 * width, record + 3 * width, record + 4 * width, record + 5 * width};
            entry = wideSlabEntry(s, rows, node.lane, D);
            isLeaf = (tree.branchInfo(node.parent).leafMask >> node.lane) & 1u;
            branchIndex = tree.branchChild(node.parent, node.lane);
            leafIndex = branchIndex;
        }
        if (entry >= D) continue;
        if (isLeaf) {
            visitLeaf(s, leafIndex, entry);
            continue;
        }
        const KdopBranchInfo branch = tree.branchInfo(branchIndex);
        if (s.slab.component[branch.splitAxis] > 0.0f) {
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
    if (tree->branchCount > 0 && tree->branchInfo(0).childCount > 0) {
        if (radius == 0.0f) {
            auto leaf = [&s](int slot, float entry) { visitLeaf(s, slot, entry); };
            kdopwalk::walkThinRay(*tree, s.slab, s.hit, leaf);
        } else {
            castWideRay(s);
        }
    }
    if (hit) *hit = s.hit;
    return s.hit.index;
}

} // namespace Analysis
