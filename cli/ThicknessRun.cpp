// SPDX-License-Identifier: MIT
// Calls of MeshAnalyzer::statvis_calc_thickness and the reading of its per-face buffer.
#include "cli/ThicknessRun.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "analysis/MeshAnalyzer.h"
#include "cli/CliError.h"
#include "cli/TextReport.h"

namespace cli {

namespace {

/// One call of the analysis; the buffer holds four bytes per face (thickness floats or colours).
std::unique_ptr<unsigned char[][4]> runAnalysis(UMesh<float>& mesh, float min, float max, int samples,
                                                Analysis::MeshAnalyzer::ShowType mode,
                                                const std::function<void(int)>& progress, std::string* message)
{
    std::unique_ptr<unsigned char[][4]> buffer(new unsigned char[mesh.faces.size() + 1][4]);
    Analysis::MeshAnalyzer analyzer;
    Analysis::MeshAnalyzer::Result result;
    try {
        result = analyzer.statvis_calc_thickness(&mesh, nullptr, min, max, samples, mode, buffer.get(), progress);
    } catch (const char* text) { // only for a window with min > max, which the options were checked against
        throw InputError(std::string("thickness window: ") + text);
    }
    if (result.status == 2) throw Kel::AbortException();
    if (result.status != 1) throw AnalysisError("thickness analysis failed: " + result.message);
    if (message) *message = result.message;
    if (progress) progress(100); // the analysis itself reports 99 at most
    return buffer;
}

} // namespace

void checkThicknessWindow(double min, double max, const std::string& minOption, const std::string& maxOption)
{
    if (!std::isfinite(min)) throw InputError(minOption + " must be a finite number");
    if (!std::isfinite(max)) throw InputError(maxOption + " must be a finite number");
    if (min > max)
        throw InputError(minOption + " " + formatNumber(min) + " is greater than " + maxOption + " " +
                         formatNumber(max));
}

std::vector<float> measureAndSelect(UMesh<float>& mesh, float min, float max, int samples,
                                    const std::function<void(int)>& progress, std::string* message)
{
    const auto buffer = runAnalysis(mesh, min, max, samples, Analysis::MeshAnalyzer::Select, progress, message);
    // In selection mode the buffer keeps each face's thickness as a native float.
    std::vector<float> thickness(mesh.faces.size());
    for (size_t f = 0; f < thickness.size(); ++f)
        std::memcpy(&thickness[f], buffer[f], sizeof(float));
    return thickness;
}

std::vector<std::array<unsigned char, 4>> measureColours(UMesh<float>& mesh, float min, float max, int samples,
                                                         const std::function<void(int)>& progress)
{
    const auto buffer = runAnalysis(mesh, min, max, samples, Analysis::MeshAnalyzer::Color, progress, nullptr);
    std::vector<std::array<unsigned char, 4>> colours(mesh.faces.size());
    for (size_t f = 0; f < colours.size(); ++f)
        std::memcpy(colours[f].data(), buffer[f], 4);
    return colours;
}

} // namespace cli
