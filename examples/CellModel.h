// SPDX-License-Identifier: MIT
// Closed triangle meshes of solids made of box cells: the example parts are drawn as occupancy functions.
#pragma once

#include <functional>
#include <vector>

#include "meshprobe/Mesh.h"

namespace examples {

/// A rectilinear lattice of cells, each solid or empty. The mesh is the boundary between solid cells and
/// empty cells or the outside: one quad (two triangles) per cell face on it, wound counter-clockwise seen
/// from outside, corners shared, so a solid without edge-only contacts gives a closed, manifold mesh.
class CellModel {
public:
    /// @param planes  the lattice planes along x, y and z (sorted, at least two each)
    /// @param isSolid whether the cell with this centre belongs to the solid
    CellModel(std::vector<float> xPlanes, std::vector<float> yPlanes, std::vector<float> zPlanes,
              const std::function<bool(float x, float y, float z)>& isSolid);

    meshprobe::Mesh mesh() const;

private:
    bool solid(int i, int j, int k) const;

    std::vector<float> planes[3];
    std::vector<bool> cells;
};

/// Planes from `from` to `to` every `step`, merged with extra planes; sorted and without repeats.
std::vector<float> planesEvery(float from, float to, float step, std::vector<float> extra = {});

} // namespace examples
