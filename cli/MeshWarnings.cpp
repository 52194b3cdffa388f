// SPDX-License-Identifier: MIT
// Mesh checks before an analysis.
#include "cli/MeshWarnings.h"

#include <iostream>

#include "cli/CliError.h"
#include "toolkit/json/ResultJson.h"

namespace cli {

void addMeshCheckOptions(CLI::App& command, MeshCheckOptions& options)
{
    command.add_flag("--strict", options.strict, "Exit with 1 when the mesh checks warn (holes, bad winding, ...)");
    command.add_flag("--fix-winding", options.fixWinding,
                     "Make the winding consistent and turn inside-out shells before the analysis");
}

CheckedMesh checkMesh(meshprobe::Mesh& mesh, const MeshCheckOptions& options)
{
    CheckedMesh checked;
    if (options.fixWinding) {
        meshprobe::WindingFix fix = meshprobe::fixWinding(mesh);
        checked.flippedFaces = fix.flippedFaces;
        mesh = std::move(fix.mesh);
    }
    checked.warnings = meshprobe::checkMesh(mesh);
    printWarnings(checked, options);
    return checked;
}

BesideAnalysis::BesideAnalysis(meshprobe::Mesh& mesh, const MeshCheckOptions& options, int analysisThreads)
    : checkOptions(options)
{
    if (options.fixWinding || analysisThreads == 1)
        checkedFirst = checkMesh(mesh, options);
    else
        checking = std::async(std::launch::async, [&mesh] { return meshprobe::checkMesh(mesh); });
}

BesideAnalysis::~BesideAnalysis()
{
    if (!checking.valid()) return;
    try {
        result();
    } catch (...) {
        // The analysis' own error is on its way; the same mesh fails its validation first.
    }
}

CheckedMesh BesideAnalysis::result()
{
    if (checkedFirst) return *checkedFirst;
    CheckedMesh checked;
    checked.warnings = checking.get();
    printWarnings(checked, checkOptions);
    return checked;
}

void printWarnings(const CheckedMesh& checked, const MeshCheckOptions& options)
{
    for (const meshprobe::MeshWarning& w : checked.warnings) {
        std::string hint;
        if ((w.code == "inside-out" || w.code == "inconsistent-winding") && !options.fixWinding)
            hint = " (--fix-winding repairs this)";
        std::cerr << "meshprobe: warning: " << w.text << hint << std::endl;
    }
    if (options.fixWinding && checked.flippedFaces)
        std::cerr << "meshprobe: --fix-winding turned " << checked.flippedFaces << " faces" << std::endl;
}

void addWarningsJson(nlohmann::ordered_json& report, const CheckedMesh& checked, const MeshCheckOptions& options)
{
    report["warnings"] = meshprobe::json::warningsJson(checked.warnings);
    if (options.fixWinding) report["winding_fixed_faces"] = checked.flippedFaces;
}

int exitCodeFor(const CheckedMesh& checked, const MeshCheckOptions& options)
{
    return options.strict && !checked.warnings.empty() ? ExitAnalysisFailed : ExitSuccess;
}

} // namespace cli
