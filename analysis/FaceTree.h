// SPDX-License-Identifier: MIT
// FaceTree: a KdopTree over a mesh's faces with the exact ray/triangle tests as its leaf callback;
// reports the face a ray meets first and at what distance.
#pragma once

#include <vector>

#include "analysis/KdopTree.h"
#include "common/HostMesh.h"

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

/// User data of faceHitCallback.
struct FaceHitData {
    const std::vector<UTriangle<float>*>* faces;
    const float (*coords)[3];
    const float* corners; ///< FaceTree::corners
    float u;              ///< barycentric coordinates of the last accepted hit
    float v;
};

/// Builds the tree: one leaf per face that passes the filter, the leaf index being the face's position
/// in the face list. Throws std::bad_alloc when memory runs out.
void buildFaceTree(FaceTree& faceTree, UMesh<float>* mesh, unsigned flags, const float (*coords)[3], bool ownsCoords);

/// First face along the ray, nearer than *maxDistance when given (3.4028235e38 otherwise); a hit exactly
/// at that distance is no hit. On a hit, *maxDistance becomes its distance and the optional points are
/// written: hitPoint on the face (or on the ray, see FaceTreeHitOnSurface), rayPoint on the ray.
/// @return the hit face, or null
UTriangle<float>* castFaceRay(const FaceTree& faceTree, const float origin[3], const float direction[3], float radius,
                              float* maxDistance, float hitPoint[3], float rayPoint[3]);

/// Frees the KdopTree and, when owned, the coordinate array.
void freeFaceTree(FaceTree& faceTree);

/// Leaf test: a tolerance test widened by the radius when it is positive, else the watertight test of
/// Woop, Benthin and Wald; the hit is taken only when strictly nearer than the current one.
void faceHitCallback(void* userData, int leafIndex, const KdopRay& ray, RayHit& hit);

} // namespace Analysis
