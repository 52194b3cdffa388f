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

/// Closed UV sphere of the given radius with `rings` latitude bands and `segments` longitudes.
Soup sphere(float cx, float cy, float cz, float radius, int rings, int segments);

} // namespace testmesh
