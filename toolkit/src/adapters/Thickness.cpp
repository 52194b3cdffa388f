// SPDX-License-Identifier: MIT
// Wall thickness through MeshAnalyzer::statvis_calc_thickness, and the reading of its per-face buffer.
#include "meshprobe/Thickness.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "analysis/MeshAnalyzer.h"
#include "analysis/ThicknessOutput.h"
#include "meshprobe/Error.h"
#include "meshprobe/Threads.h"
#include "meshprobe/ThicknessColours.h"
#include "toolkit/src/adapters/CallGuards.h"
#include "toolkit/src/adapters/HostMeshBridge.h"
#include "toolkit/src/adapters/ThicknessHostMesh.h"
#include "toolkit/src/adapters/ThicknessRayPass.h"

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

} // namespace

ThicknessResult thickness(const MeshView& view, const ThicknessOptions& options)
{
    std::unique_ptr<detail::MarkingAreaMesh> kept;
    return detail::thicknessKeepingHostMesh(view, options, kept);
}

ThicknessResult detail::thicknessKeepingHostMesh(const MeshView& view, const ThicknessOptions& options,
                                                 std::unique_ptr<MarkingAreaMesh>& areasMesh)
{
    checkWindow(options);
    if (options.threads < 0) throw InputError("threads " + std::to_string(options.threads) + " is negative");
    areasMesh = std::make_unique<MarkingAreaMesh>(view);
    UMesh<float>* const mesh = &areasMesh->hostMesh();
    const float measured = options.colours ? 95.0f : 100.0f;

    ThicknessResult result;
    result.threads = options.threads > 0 ? options.threads : defaultThreadCount();
    // The per-face values on every thread; then the library's selection rule over them.
    result.perFace = detail::translateHostErrors("thickness analysis", [&] {
        return detail::thicknessRayPass(*mesh, options.max, options.samples, result.threads,
                                        {options.progress, 0.0f, measured});
    });
    result.status = 1;
    result.message = "Thickness analysis Successfully";
    for (std::size_t f = 0; f < result.perFace.size(); ++f) {
        const float t = result.perFace[f];
        // Selection mode on a fresh mesh: only a +1 outcome leaves a face selected.
        if (Analysis::thicknessSelection(t, options.min, options.max) > 0)
            result.selectedFaces.push_back(static_cast<std::uint32_t>(f));
        if (t >= options.max) ++result.facesAtMax;
    }
    detail::reportOrCancel(options.progress, measured);

    // The library writes either thickness values or colours; the colours follow from the values with the
    // library's own ramp, so one run gives both.
    if (options.colours) {
        result.faceColours =
            thicknessColours(result.perFace, options.min, options.max, options.max, {0, 255, 128, 255});
        detail::reportOrCancel(options.progress, 100.0f);
    }
    return result;
}

std::vector<HistogramBin> thicknessHistogram(const std::vector<float>& perFace, float min, float max, int bins)
{
    if (bins < 1) throw InputError("thickness histogram: at least one bin is needed");
    // A NaN end would send every value past the last bin.
    if (!std::isfinite(min) || !std::isfinite(max) || min > max)
        throw InputError("thickness window: min and max must be finite numbers with min <= max");
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
