// SPDX-License-Identifier: MIT
// The mesh checks that run before an analysis: --fix-winding, --strict, warnings on stderr and in JSON.
#pragma once

#include <cstddef>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "meshprobe/Mesh.h"
#include "meshprobe/MeshChecks.h"

namespace cli {

struct MeshCheckOptions {
    bool strict = false;
    bool fixWinding = false;
};

/// Adds --strict and --fix-winding.
void addMeshCheckOptions(CLI::App& command, MeshCheckOptions& options);

struct CheckedMesh {
    std::vector<meshprobe::MeshWarning> warnings;
    std::size_t flippedFaces = 0;
};

/// With --fix-winding, repairs the mesh's winding in place; then checks it and prints every warning on
/// stderr (after the progress bar is gone; --quiet does not hide them). Without --fix-winding the mesh
/// is left exactly as read.
CheckedMesh checkMesh(meshprobe::Mesh& mesh, const MeshCheckOptions& options);

/// "warnings": [{"code", "count", "text"}], and "winding_fixed_faces" with --fix-winding.
void addWarningsJson(nlohmann::ordered_json& report, const CheckedMesh& checked, const MeshCheckOptions& options);

/// 1 when --strict was given and there are warnings, else 0.
int exitCodeFor(const CheckedMesh& checked, const MeshCheckOptions& options);

} // namespace cli
