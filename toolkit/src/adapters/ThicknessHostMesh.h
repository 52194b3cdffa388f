// SPDX-License-Identifier: MIT
// Thickness that hands its host mesh on, for the thin areas of the same call.
#pragma once

#include <memory>

#include "meshprobe/Thickness.h"
#include "toolkit/src/adapters/MarkingAreaMesh.h"

namespace meshprobe::detail {

/// thickness(), leaving the host mesh it analysed in `areasMesh` for marking areas on the same view: the
/// rays set no flag, colour or topology on it, so it is the mesh MarkingAreaMesh(view) makes.
ThicknessResult thicknessKeepingHostMesh(const MeshView& view, const ThicknessOptions& options,
                                         std::unique_ptr<MarkingAreaMesh>& areasMesh);

} // namespace meshprobe::detail
