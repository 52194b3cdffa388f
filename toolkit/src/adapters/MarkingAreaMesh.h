// SPDX-License-Identifier: MIT
// One host mesh with its edge topology, for several marking-area selections on the same part.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "meshprobe/MarkingAreas.h"

template <typename T> class UMesh;

namespace meshprobe::detail {

/// The host mesh of a valid view, for several selections; the first one builds its topology. Building the
/// two is most of a marking-area call's cost on a large part.
class MarkingAreaMesh {
public:
    /// @throw InputError when the view is invalid
    explicit MarkingAreaMesh(const MeshView& view);
    ~MarkingAreaMesh();
    MarkingAreaMesh(const MarkingAreaMesh&) = delete;
    MarkingAreaMesh& operator=(const MarkingAreaMesh&) = delete;

    /// markingAreas() of the view on this mesh; the mesh is left with no face selected, ready for the next
    /// selection. The first call builds the topology on up to `threads` threads (the adjacency does not
    /// depend on the count).
    /// @throw InputError a face index that does not exist (the message names it)
    MarkingAreasResult select(const std::vector<std::uint32_t>& selectedFaces, const std::string& label, int threads);

    /// The host mesh, for analyses that read it before the first selection (they must leave it as it is).
    UMesh<float>& hostMesh();

private:
    struct HostMesh;
    const MeshView& view;
    std::unique_ptr<HostMesh> host;
};

} // namespace meshprobe::detail
