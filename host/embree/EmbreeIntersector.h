// SPDX-License-Identifier: MIT
// Ray intersector of the host's ray-intersection library: every surface crossing of a ray, on Intel Embree 3.
#pragma once

#include <memory>
#include <vector>

#include "host/geometry/UVector3.h"

class MeshKernel;

namespace embree {

/// One surface crossing of a ray.
struct Hit {
    float distance = 0.0f; ///< along the ray, in units of the direction's length
    unsigned primId = 0;   ///< the triangle's position in the mesh's face list
    float u = 0.0f;        ///< barycentric weight of corner 1
    float v = 0.0f;        ///< barycentric weight of corner 2
};

class EmbreeIntersector {
public:
    /// Axis rays answered by scenes of their own before the whole mesh's scene is built for all later ones
    /// (either way a ray gets the same hits).
    static constexpr long kAxisRaysBeforeWholeScene = 4096;

    EmbreeIntersector();
    EmbreeIntersector(const EmbreeIntersector&) = delete;
    EmbreeIntersector& operator=(const EmbreeIntersector&) = delete;
    virtual ~EmbreeIntersector();

    /// Takes the kernel's mesh with its placement matrix applied. The two flags are accepted for interface
    /// compatibility and have no effect. Embree's scenes are built by the queries that need them.
    /// Throws std::runtime_error when Embree fails.
    bool init(MeshKernel* kernel, bool, bool);

    /// Clears `hits` and fills it with every crossing of the ray with distance in [tnear, tfar], nearest first.
    /// A ray through an edge or vertex shared by several triangles counts each crossing of the surface once
    /// (and a ray that only grazes the surface there an even number of times). Safe to call from many threads.
    /// Throws std::runtime_error when Embree fails to build a scene.
    /// @param hitCount  receives hits.size()
    /// @param mask      Embree ray mask
    /// @return true when there is at least one hit
    bool intersectRay(const UVector3<float>& origin, const UVector3<float>& direction, std::vector<Hit>& hits,
                      int& hitCount, float tnear, float tfar, int mask) const;

private:
    struct Scene;
    struct Neighbours;
    static std::unique_ptr<Neighbours> makeNeighbours(const Scene& scene);
    std::unique_ptr<Scene> scene;
};

} // namespace embree
