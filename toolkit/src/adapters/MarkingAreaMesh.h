// SPDX-License-Identifier: MIT
// One host mesh with its edge topology, for several marking-area selections on the same part.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "meshprobe/MarkingAreas.h"

namespace meshprobe::detail {

/// The host mesh of a valid view with its topology built on up to `threads` threads (the adjacency does
/// not depend on the count). Building it is most of a marking-area call's cost on a large part.
class MarkingAreaMesh {
public:
    /// @throw InputError when the view is invalid
    MarkingAreaMesh(const MeshView& view, int threads);
    ~MarkingAreaMesh();
    MarkingAreaMesh(const MarkingAreaMesh&) = delete;
    MarkingAreaMesh& operator=(const MarkingAreaMesh&) = delete;

    /// markingAreas() of the view on this mesh; the mesh is left with no face selected, ready for the next
    /// selection.
    /// @throw InputError a face index that does not exist (the message names it)
    MarkingAreasResult select(const std::vector<std::uint32_t>& selectedFaces, const std::string& label);

private:
    struct HostMesh;
    const MeshView& view;
    std::unique_ptr<HostMesh> host;
};

} // namespace meshprobe::detail
