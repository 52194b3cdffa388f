// SPDX-License-Identifier: MIT
// Marking areas: selected faces grouped into labelled, edge-connected patches with their boundary loops.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "meshprobe/Mesh.h"

namespace meshprobe {

/// One edge-connected patch of selected faces (connected across manifold edges whose faces agree in
/// winding).
struct MarkingArea {
    /// 1, 2, ... within one call.
    int id = 0;
    /// The label given to the call.
    std::string name;
    /// Face indices: the seed first, then breadth-first order.
    std::vector<std::uint32_t> faces;
    /// Closed loops of vertex indices bounding the patch; each loop's last entry repeats its first.
    std::vector<std::vector<std::uint32_t>> loops;
    /// Surface area of the patch's faces, mm².
    double area = 0.0;
};

struct MarkingAreasResult {
    /// Distinct faces selected.
    std::size_t selectedFaces = 0;
    std::vector<MarkingArea> areas;
};

/// Groups the selected faces into areas, each named `label`. Repeated indices count once; order does not
/// matter. Linear in the size of the mesh.
/// @throw InputError invalid view, or a face index that does not exist (the message names it)
MarkingAreasResult markingAreas(const MeshView& mesh, const std::vector<std::uint32_t>& selectedFaces,
                                const std::string& label = "area");

} // namespace meshprobe
