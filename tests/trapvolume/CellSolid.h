// SPDX-License-Identifier: MIT
// Closed meshes made of box cells on a rectilinear lattice: the boundary between solid and empty cells.
//
// With a 16-voxel grid the tests put the outer planes at 0 and 15.998, so that the padded box is 16 long and
// a voxel is 1 wide with voxel coordinate = world + 0.001; an inner plane at j + 0.499 then runs through
// the middle of voxel j, and the free voxels between planes a + 0.499 and b + 0.499 are a+1 .. b-1.
#pragma once

#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "tests/support/TestMeshes.h"

namespace trapmesh {

constexpr float kFar = 15.998f; // the outer plane of a 16-voxel test grid

class CellSolid {
public:
    CellSolid(std::vector<float> xs, std::vector<float> ys, std::vector<float> zs) : planes{xs, ys, zs}
    {
        empty.assign(static_cast<std::size_t>(cells(0) * cells(1) * cells(2)), false);
    }

    CellSolid& carve(int i, int j, int k)
    {
        empty[index(i, j, k)] = true;
        return *this;
    }

    /// Boundary quads between solid cells and empty cells or the outside, wound outward from the solid,
    /// vertices shared on the lattice (watertight).
    testmesh::Soup soup() const
    {
        testmesh::Soup s;
        std::map<std::tuple<int, int, int>, std::uint32_t> ids;
        auto vertex = [&](int p[3]) {
            const auto key = std::make_tuple(p[0], p[1], p[2]);
            auto found = ids.find(key);
            if (found != ids.end()) return found->second;
            const auto id = static_cast<std::uint32_t>(s.positions.size() / 3);
            for (int a = 0; a < 3; ++a)
                s.positions.push_back(planes[a][static_cast<std::size_t>(p[a])]);
            ids.emplace(key, id);
            return id;
        };
        for (int a = 0; a < 3; ++a) {
            const int b = (a + 1) % 3;
            const int c = (a + 2) % 3;
            for (int i = 0; i <= cells(a); ++i)
                for (int u = 0; u < cells(b); ++u)
                    for (int v = 0; v < cells(c); ++v) {
                        int lower[3];
                        lower[a] = i - 1;
                        lower[b] = u;
                        lower[c] = v;
                        int upper[3] = {lower[0], lower[1], lower[2]};
                        upper[a] = i;
                        const bool lowerSolid = solid(lower);
                        if (lowerSolid == solid(upper)) continue;
                        int q[4][3];
                        const int corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}}; // counter-clockwise about +a
                        for (int n = 0; n < 4; ++n) {
                            q[n][a] = i;
                            q[n][b] = u + corner[n][0];
                            q[n][c] = v + corner[n][1];
                        }
                        std::uint32_t id[4];
                        for (int n = 0; n < 4; ++n)
                            id[n] = vertex(q[n]);
                        if (lowerSolid) // normal +a
                            s.indices.insert(s.indices.end(), {id[0], id[1], id[2], id[0], id[2], id[3]});
                        else
                            s.indices.insert(s.indices.end(), {id[0], id[2], id[1], id[0], id[3], id[2]});
                    }
        }
        return s;
    }

private:
    int cells(int axis) const { return static_cast<int>(planes[axis].size()) - 1; }
    std::size_t index(int i, int j, int k) const { return static_cast<std::size_t>((i * cells(1) + j) * cells(2) + k); }
    bool solid(const int p[3]) const
    {
        for (int a = 0; a < 3; ++a)
            if (p[a] < 0 || p[a] >= cells(a)) return false;
        return !empty[index(p[0], p[1], p[2])];
    }

    std::vector<float> planes[3];
    std::vector<bool> empty;
};

/// A solid box filling the 16-voxel grid with a sealed 7-long cubic hole between the planes 4.499 and 11.499:
/// 6 x 6 x 6 trapped voxels.
inline testmesh::Soup sealedCube()
{
    CellSolid s({0, 4.499f, 11.499f, kFar}, {0, 4.499f, 11.499f, kFar}, {0, 4.499f, 11.499f, kFar});
    s.carve(1, 1, 1);
    return s.soup();
}

} // namespace trapmesh
