// SPDX-License-Identifier: MIT
// Thin areas on a ray scene the caller built ahead, for callers that build it beside other work.
#pragma once

#include <memory>
#include <vector>

#include "meshprobe/ThinAreas.h"

namespace meshprobe::detail {

class MarkingAreaMesh;
class RayScene;

/// thinAreas, with the wall readings cast on `scene` (a scene of `mesh`) when one is given; without one,
/// the readings build their own. The scene is released as soon as the readings are done. The marking
/// areas are found on `areasMesh` (a host mesh of `mesh`) when one is given, else on one made here.
ThinAreasResult thinAreasOnScene(const MeshView& mesh, const std::vector<float>& perFace,
                                 const ThinAreaOptions& options, std::unique_ptr<RayScene> scene,
                                 std::unique_ptr<MarkingAreaMesh> areasMesh = nullptr);

} // namespace meshprobe::detail
