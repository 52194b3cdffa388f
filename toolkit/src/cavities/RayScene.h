// SPDX-License-Identifier: MIT
// Every crossing of a ray with a mesh's surface, through Embree.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "meshprobe/Mesh.h"

namespace meshprobe::detail {

/// The first face a ray meets.
struct RayHit {
    std::uint32_t face = 0;
    double t = 0.0; ///< distance along the (unit) ray
};

struct SurfaceCrossing {
    double t = 0.0;        ///< distance along the (unit) ray
    bool entering = false; ///< the ray meets the face from the side its winding faces (into the solid)
};

/// An Embree scene over a mesh whose arrays stay alive and unchanged while the scene is used.
class RayScene {
public:
    explicit RayScene(const MeshView& mesh);
    ~RayScene();
    RayScene(const RayScene&) = delete;
    RayScene& operator=(const RayScene&) = delete;

    /// The crossings along the ray from `origin` in unit direction `direction`, nearest first. Hits closer
    /// together than `merge` count once (a ray through an edge hits both of its faces).
    std::vector<SurfaceCrossing> crossings(const std::array<double, 3>& origin, const std::array<double, 3>& direction,
                                           double merge) const;

    /// The nearest face the ray from `origin` in unit direction `direction` meets between `from` and `to`.
    std::optional<RayHit> nearest(const std::array<float, 3>& origin, const std::array<float, 3>& direction, float from,
                                  float to) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace meshprobe::detail
