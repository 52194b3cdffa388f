// SPDX-License-Identifier: MIT
// Small meshes built in code for the tests, all wound counter-clockwise seen from outside.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/mesh/MeshFactory.h"
#include "host/mesh/UMesh.h"
#include "meshprobe/Mesh.h"

namespace testmesh {

/// Flat arrays of a triangle mesh, handy to combine before building the UMesh.
struct Soup {
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;

    /// Appends another soup, shifting its indices.
    void append(const Soup& other);
    /// Appends the same triangles with reversed winding (a shell facing inward).
    void appendFlipped(const Soup& other);
    std::unique_ptr<UMesh<float>> build() const { return makeMesh(positions, indices); }
    /// The soup's arrays as seen by the toolkit (valid while the soup lives unchanged).
    meshprobe::MeshView view() const
    {
        return {positions.data(), positions.size() / 3, indices.data(), indices.size() / 3};
    }
};

/// Axis-aligned box [lo, hi], 8 vertices and 12 triangles, normals outward.
Soup box(float x0, float y0, float z0, float x1, float y1, float z1);

/// Closed box whose every face is an n x n grid of quads (shared vertices), normals outward.
Soup gridBox(float x0, float y0, float z0, float x1, float y1, float z1, int n);

/// Flat grid of nx x ny quads in the plane z = 0 over [0, nx] x [0, ny], two triangles per quad,
/// vertex (i, j) at index j * (nx + 1) + i; quad (i, j) gives faces 2 * (j * nx + i) and +1.
Soup quadGrid(int nx, int ny);

/// Closed block of columns on a grid: column (i, j) covers [xs[i], xs[i+1]] x [ys[j], ys[j+1]] from z = 0 to
/// heights[j * (xs.size() - 1) + i]; height 0 leaves a hole through the block. Neighbouring columns share the
/// wall between their heights, so the mesh is closed and manifold as long as the columns on the grid's border
/// all have one height (their outer sides are single quads). A lower column in the middle makes a cup, a
/// tall narrow one a fin.
///
///   side view of a cup (xs = {0, 4, 16, 20}, heights 20 around and 4 in the middle):
///     |  |      |  |
///     |  |______|  |
///     |____________|
Soup columns(const std::vector<float>& xs, const std::vector<float>& ys, const std::vector<float>& heights);

/// The dimensions of finPlate, mm before scaling.
struct FinPlateSize {
    static constexpr float width = 40, length = 20, base = 2, finHeight = 8;
};

/// A plate width x length x base (x, y, z from 0) with `fins` fins of `finThickness`, finHeight tall, standing
/// on it along y, centred in equal slots along x: one closed shell (a comb profile in x-z extruded along y,
/// every side of a fin one quad), all coordinates times `scale`.
Soup finPlate(int fins, float finThickness, float scale = 1.0f);

/// Closed UV sphere of the given radius with `rings` latitude bands and `segments` longitudes.
Soup sphere(float cx, float cy, float cz, float radius, int rings, int segments);

} // namespace testmesh
