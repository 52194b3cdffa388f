// SPDX-License-Identifier: MIT
// FaceTree: a KdopTree over a mesh's faces with the exact ray/triangle tests as its leaf callback;
// reports the face a ray meets first and at what distance.
#pragma once

#include <memory>
#include <vector>

#include "analysis/KdopTree.h"
#include "common/HostMesh.h"

// Like the KdopTree below it, the face tree keeps its C-style interface (a plain struct with build, cast
// and free functions): it is the fixed interface the thickness analysis is written against. OwnedFaceTree
// adds the one thing that interface lacks, a release on every path.
namespace Analysis {

/// Flags of buildFaceTree.
constexpr unsigned FaceTreeHitOnSurface = 1; ///< castFaceRay's hit point is rebuilt from the face's own points
constexpr unsigned FaceTreeSelectedOnly = 2; ///< only selected faces become leaves
constexpr unsigned FaceTreeVisibleOnly = 4;  ///< only faces that are not hidden become leaves

struct FaceTree {
    KdopTree* tree = nullptr;           ///< owned; null until built and after freeing
    UMesh<float>* mesh = nullptr;       ///< not owned
    const float (*coords)[3] = nullptr; ///< optional corner positions by vertex ID
    bool ownsCoords = false;            ///< coords came from malloc and are freed with the tree
    unsigned flags = 0;                 ///< build flags without the filter bits
    /// The three corners of every face at its list position (nine floats), copied at build so that the
    /// leaf test reads one contiguous record instead of following face and vertex pointers.
    std::vector<float> corners;
    /// The same corners in the tree's leaf slot order, so that the leaves of a branch lie side by side
    /// for the radius-0 cast, which tests them without going through faceHitCallback.
    std::vector<float> slotCorners;
};

/// User data of faceHitCallback: the face list and the optional coordinate array, then the barycentric
/// coordinates of the last accepted hit.
struct FaceHitData {
    const std::vector<UTriangle<float>*>* faces;
    const float (*coords)[3];
    float u = 0.0f;
    float v = 0.0f;
    /// FaceTree::corners, so that the test reads one record per face; null to read each face's corners
    /// from the coordinate array or the face itself.
    const float* corners = nullptr;
};

/// Builds the tree: one leaf per face that passes the filter, the leaf index being the face's position
/// in the face list. Throws std::bad_alloc when memory runs out. With buildThreads above 1 the leaves'
/// bounds (when every face is a leaf), the branches (kdopTreeBalanceOnThreads) and the records are
/// shared out among that many threads: the same tree, sooner.
void buildFaceTree(FaceTree& faceTree, UMesh<float>* mesh, unsigned flags, const float (*coords)[3], bool ownsCoords,
                   int buildThreads = 1);

/// First face along the ray, nearer than *maxDistance when given (3.4028235e38 otherwise); a hit exactly
/// at that distance is no hit. On a hit, *maxDistance becomes its distance and the optional points are
/// written: hitPoint on the face (or on the ray, see FaceTreeHitOnSurface), rayPoint on the ray.
/// @return the hit face, or null
UTriangle<float>* castFaceRay(const FaceTree& faceTree, const float origin[3], const float direction[3], float radius,
                              float* maxDistance, float hitPoint[3], float rayPoint[3]);

/// Frees the KdopTree and, when owned, the coordinate array.
void freeFaceTree(FaceTree& faceTree);

/// Releases a face tree made with new: freeFaceTree, then the struct itself.
struct FaceTreeDeleter {
    void operator()(FaceTree* faceTree) const
    {
        freeFaceTree(*faceTree);
        delete faceTree;
    }
};

/// A face tree that is freed exactly once, whichever way its owner's scope is left.
using OwnedFaceTree = std::unique_ptr<FaceTree, FaceTreeDeleter>;

/// buildFaceTree into a new OwnedFaceTree; what a failed build made is released as well.
inline OwnedFaceTree makeFaceTree(UMesh<float>* mesh, unsigned flags, const float (*coords)[3], bool ownsCoords,
                                  int buildThreads = 1)
{
    OwnedFaceTree faceTree(new FaceTree());
    buildFaceTree(*faceTree, mesh, flags, coords, ownsCoords, buildThreads);
    return faceTree;
}

/// Leaf test: a tolerance test widened by the radius when it is positive, else the watertight test of
/// Woop, Benthin and Wald; the hit is taken only when strictly nearer than the current one.
void faceHitCallback(void* userData, int leafIndex, const KdopRay& ray, RayHit& hit);

} // namespace Analysis
