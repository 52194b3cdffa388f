// SPDX-License-Identifier: MIT
// Trapped volumes: air that cannot drain from a part printed in a given build direction.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "meshprobe/BuildDirection.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"

namespace meshprobe {

struct TrappedOptions {
    /// Voxels along the longest side of the part's box, 1..1290. Memory grows with resolution³ (three bits
    /// per voxel: about 0.8 GB at 1290).
    int resolution = 256;
    /// The model axis that points up while printing; air drains downwards against it.
    BuildDirection up = BuildDirection::PlusZ;
    /// Worker threads for this call; 0 means one per core. Small grids run on one thread whatever is asked
    /// (see TrappedResult::threads). The calling thread's OpenMP setting is left alone.
    int threads = 0;
    /// Build each cavity's mesh (Cavity::mesh); without, cavities are still listed with their counts.
    bool cavityMeshes = true;
    /// Progress of the whole call; false cancels. 0 to 90 while voxelizing, 90 to 100 while meshing the
    /// cavities.
    ProgressCallback progress;
};

/// One connected region of trapped air.
struct Cavity {
    /// "Closed" (sealed on all sides) or "Open" (touches the box's edge or air that opens upward).
    std::string name;
    /// Voxels of the cavity, exact at any size.
    long long voxels = 0;
    /// Volume, mm³, as the host library computes it (single precision).
    float volume = 0.0f;
    /// The cavity's surface in the model's own frame (whatever the build direction), mm: one upright
    /// triangle per vertical run of voxels. Vertex positions are not welded across triangles.
    /// Empty when TrappedOptions::cavityMeshes is false.
    Mesh mesh;
    /// Triangles of the cavity's surface (also when its mesh was not kept).
    std::size_t triangleCount = 0;
};

struct TrappedResult {
    int resolution = 0;
    BuildDirection up = BuildDirection::PlusZ;
    /// Worker threads the call used.
    int threads = 0;
    /// Edge of one voxel, mm: the part's box padded by 0.001 mm on every side, its longest side cut into
    /// resolution voxels.
    double voxelSize = 0.0;
    /// Sum of the cavities' voxels.
    long long trappedVoxels = 0;
    /// Sum of the cavities' volumes in list order, in single precision as the host library sums them, mm³.
    float trappedVolume = 0.0f;
    /// The cavities in the order the library finds them: by lowest layer, then x, then y.
    std::vector<Cavity> cavities;
};

/// Finds the trapped air of a part printed in options.up on a voxel grid. The part is analysed with its
/// bounding-box centre at the origin, so the answers do not depend on where the model placed it; every
/// position is reported in the model's coordinates. Thread-safe for concurrent calls; prints nothing.
/// @throw InputError invalid view, resolution outside 1..1290, threads < 0
/// @throw Error when the grid cannot be set up (too large for the memory, coordinates that do not map into
///        the grid; the message says which) or cavity meshing fails; Cancelled
TrappedResult trappedVolumes(const MeshView& mesh, const TrappedOptions& options = {});

} // namespace meshprobe
