// SPDX-License-Identifier: MIT
// The mesh checks that run before an analysis: --fix-winding, --strict, warnings on stderr and in JSON.
#pragma once

#include <cstddef>
#include <future>
#include <optional>
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

/// Every warning, and the faces --fix-winding turned, on stderr.
void printWarnings(const CheckedMesh& checked, const MeshCheckOptions& options);

/// The checks of checkMesh on a thread of their own while the caller analyses the mesh (they only read it),
/// so that a serial step of the analysis and the checks share the machine. They run before, on the calling
/// thread, with --fix-winding (the repair changes the mesh) and when the analysis is to use one thread.
/// The mesh must stay unchanged until result().
class BesideAnalysis {
public:
    BesideAnalysis(meshprobe::Mesh& mesh, const MeshCheckOptions& options, int analysisThreads);
    /// When the analysis failed before result(): the warnings still reach stderr ahead of its error.
    ~BesideAnalysis();
    BesideAnalysis(const BesideAnalysis&) = delete;
    BesideAnalysis& operator=(const BesideAnalysis&) = delete;
    /// Waits for the checks, prints their warnings on stderr and returns them.
    /// @throw what the checks throw (InputError for a mesh that fails validation)
    CheckedMesh result();

private:
    MeshCheckOptions checkOptions;
    std::optional<CheckedMesh> checkedFirst;
    std::future<std::vector<meshprobe::MeshWarning>> checking;
};

/// "warnings": [{"code", "count", "text"}], and "winding_fixed_faces" with --fix-winding.
void addWarningsJson(nlohmann::ordered_json& report, const CheckedMesh& checked, const MeshCheckOptions& options);

/// 1 when --strict was given and there are warnings, else 0.
int exitCodeFor(const CheckedMesh& checked, const MeshCheckOptions& options);

} // namespace cli
