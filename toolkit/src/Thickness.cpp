// SPDX-License-Identifier: MIT
// Wall thickness through MeshAnalyzer::statvis_calc_thickness, and the reading of its per-face buffer.
#include "meshprobe/Thickness.h"

#include <cmath>
#include <cstring>
#include <memory>

#include <omp.h>

#include "analysis/MeshAnalyzer.h"
#include "meshprobe/Error.h"
#include "toolkit/src/CallGuards.h"
#include "toolkit/src/HostMeshBridge.h"
#include "toolkit/src/ThicknessRayPass.h"

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
    if (options.threads < 0) throw InputError("threads " + std::to_string(options.threads) + " is negative");
    const std::unique_ptr<UMesh<float>> mesh = detail::toHostMesh(view);
    const float measured = options.colours ? 50.0f : 100.0f;

    ThicknessResult result;
    result.threads = options.threads > 0 ? options.threads : omp_get_num_procs();
    // The per-face values on every thread; then the host library's selection rule over them: strictly
    // inside (min, max) is selected, at max is not.
    result.perFace = detail::translateHostErrors("thickness analysis", [&] {
        return detail::thicknessRayPass(*mesh, options.max, options.samples, result.threads, options.progress, 0.0f,
                                        measured);
    });
    result.status = 1;
    result.message = "Thickness analysis Successfully";
    for (std::size_t f = 0; f < result.perFace.size(); ++f) {
        const float t = result.perFace[f];
        if (t < options.max && t > options.min) result.selectedFaces.push_back(static_cast<std::uint32_t>(f));
        if (t >= options.max) ++result.facesAtMax;
    }
    detail::reportOrCancel(options.progress, measured);

    if (options.colours) {
        // The library writes either selection flags and thickness values or colours, never both.
        std::string message;
        const auto colours = runAnalysis(*mesh, options, Analysis::MeshAnalyzer::Color, measured, 100.0f, message);
        result.faceColours.resize(mesh->faces.size());
        for (std::size_t f = 0; f < result.faceColours.size(); ++f)
            std::memcpy(result.faceColours[f].data(), colours[f], 4);
    }
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
