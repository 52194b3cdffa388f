// SPDX-License-Identifier: MIT
// Wall thickness through MeshAnalyzer::statvis_calc_thickness, and the reading of its per-face buffer.
#include "meshprobe/Thickness.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "analysis/MeshAnalyzer.h"
#include "meshprobe/Error.h"
#include "meshprobe/ThicknessColours.h"
#include "toolkit/src/CallGuards.h"
#include "toolkit/src/HostMeshBridge.h"

namespace meshprobe {

namespace {

std::string formatWindowValue(float value)
{
    std::string text = std::to_string(value);
    text.erase(text.find_last_not_of('0') + 1);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

void checkWindow(const ThicknessOptions& options)
{
    if (!std::isfinite(options.min)) throw InputError("thickness window: min must be a finite number");
    if (!std::isfinite(options.max)) throw InputError("thickness window: max must be a finite number");
    if (options.min < 0.0f)
        throw InputError("thickness window: min " + formatWindowValue(options.min) + " is negative");
    if (options.min > options.max)
        throw InputError("thickness window: min " + formatWindowValue(options.min) + " is greater than max " +
                         formatWindowValue(options.max));
}

/// One run of the analysis. The buffer holds four bytes per face in every mode: thickness floats in
/// selection mode, colours in colour mode (plus one spare entry, which the analysis may touch).
std::unique_ptr<unsigned char[][4]> runAnalysis(UMesh<float>& mesh, const ThicknessOptions& options,
                                                Analysis::MeshAnalyzer::ShowType mode, float from, float to,
                                                std::string& message)
{
    std::unique_ptr<unsigned char[][4]> buffer(new unsigned char[mesh.faces.size() + 1][4]);
    const Analysis::MeshAnalyzer::Result result = detail::translateHostErrors("thickness window", [&] {
        return Analysis::MeshAnalyzer().statvis_calc_thickness(&mesh, nullptr, options.min, options.max,
                                                               options.samples, mode, buffer.get(),
                                                               detail::hostProgress(options.progress, from, to));
    });
    if (result.status == 2) throw Cancelled();
    if (result.status != 1) throw Error("thickness analysis failed: " + result.message);
    message = result.message;
    detail::reportOrCancel(options.progress, to); // the analysis itself reports 99 at most
    return buffer;
}

} // namespace

ThicknessResult thickness(const MeshView& view, const ThicknessOptions& options)
{
    checkWindow(options);
    const std::unique_ptr<UMesh<float>> mesh = detail::toHostMesh(view);
    ThicknessResult result;
    const auto buffer = runAnalysis(*mesh, options, Analysis::MeshAnalyzer::Select, 0.0f, 100.0f, result.message);
    result.status = 1;
    // In selection mode the buffer keeps each face's thickness as a native float.
    result.perFace.resize(mesh->faces.size());
    for (std::size_t f = 0; f < result.perFace.size(); ++f) {
        std::memcpy(&result.perFace[f], buffer[f], sizeof(float));
        if (mesh->faces[f]->IsS()) result.selectedFaces.push_back(static_cast<std::uint32_t>(f));
        if (result.perFace[f] >= options.max) ++result.facesAtMax;
    }

    // The library writes either thickness values or colours; the colours follow from the values with the
    // library's own ramp, so one run gives both.
    if (options.colours)
        result.faceColours =
            thicknessColours(result.perFace, options.min, options.max, options.max, {0, 255, 128, 255});
    return result;
}

std::vector<HistogramBin> thicknessHistogram(const std::vector<float>& perFace, float min, float max, int bins)
{
    if (bins < 1) throw InputError("thickness histogram: at least one bin is needed");
    std::vector<HistogramBin> histogram{{0.0, min, 0}};
    // Edges as (min * (n - b) + max * b) / n keep round windows round (0.9, not 0.8999999999999999).
    auto edge = [min, max, bins](int b) { return (double(min) * (bins - b) + double(max) * b) / bins; };
    if (max > min)
        for (int b = 0; b < bins; ++b)
            histogram.push_back({edge(b), edge(b + 1), 0});
    for (float t : perFace) {
        if (t >= max) continue;
        if (t <= min) {
            ++histogram[0].faces;
            continue;
        }
        int b = bins - 1;
        while (b > 0 && t < edge(b))
            --b;
        ++histogram[static_cast<std::size_t>(1 + b)].faces;
    }
    return histogram;
}

} // namespace meshprobe
