// SPDX-License-Identifier: MIT
// Analysis::MeshAnalyzer::statvis_calc_thickness: per-face wall thickness by rays cast along the inward
// normal through a face tree, then selection flags or a hue ramp over the thickness window.
#include "analysis/MeshAnalyzer.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include "analysis/FaceTree.h"
#include "analysis/ThicknessOutput.h"
#include "analysis/ThicknessRays.h"
#include "common/HostMesh.h"

namespace Analysis {
namespace {

/// The thickness floats live in the caller's colour buffer, four bytes per face, native byte order.
inline float readThickness(const unsigned char (*buffer)[4], std::size_t face)
{
    float value;
    std::memcpy(&value, buffer[face], sizeof(float));
    return value;
}
inline void writeThickness(unsigned char (*buffer)[4], std::size_t face, float value)
{
    std::memcpy(buffer[face], &value, sizeof(float));
}

/// Reports p when it is above the last reported value (which starts at 0, so 0 is never reported).
struct ProgressReporter {
    const std::function<void(int)>& callback;
    int last = 0;
    void report(int p)
    {
        if (p > last) {
            last = p;
            if (callback) callback(p);
        }
    }
};

/// The Result of a ray pass that ended by an exception.
MeshAnalyzer::Result rayPassResult(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Kel::AbortException&) {
        return MeshAnalyzer::Result{2, "Abort thickness analyze operation"};
    } catch (char* text) {
        return MeshAnalyzer::Result{0, text ? text : ""};
    } catch (...) {
        return MeshAnalyzer::Result{0, "Failed(Face ray cast error)"};
    }
}

} // namespace

MeshAnalyzer::Result MeshAnalyzer::statvis_calc_thickness(UMesh<float>* mesh, const float (*vertexCoords)[3], float min,
                                                          float max, int sampleCount, ShowType showType,
                                                          unsigned char (*faceColors)[4],
                                                          std::function<void(int)> progress)
{
    const std::vector<UTriangle<float>*>& faces = mesh->faces;
    const std::size_t n = faces.size();
    const float range = 1.0f / (max - min);
    if (min > max) throw "min can not exceed max.";

    for (std::size_t i = n; i-- > 0;)
        writeThickness(faceColors, i, max);

    // Sample set-up: 0 no rays, 1..31 the folded pattern, 32 or more the centroid alone.
    const ThicknessRays rays(sampleCount);

    ProgressReporter reporter{progress};
    const float faceCount = static_cast<float>(n);
    // The ray pass. Whatever it throws is kept, and turned into the Result once the face tree is freed.
    std::exception_ptr rayPassFailure;
    {
        // A failed build (memory) is not converted into a Result: it leaves the operation.
        const OwnedFaceTree faceTree = makeFaceTree(mesh, 0, vertexCoords, false);
        try {
            std::vector<float> origins(3 * rays.perFace());
            for (std::size_t i = 0; i < n; ++i) {
                reporter.report(static_cast<int>(static_cast<float>(i) / faceCount * 95.0f));
                const UTriangle<float>* face = faces[i];
                // A thickness belongs to its face, so this pass keeps it under the face's own index field; the
                // output pass walks the caller's buffer, which is indexed by list position, and gives every
                // entry exactly one outcome. For a host mesh the two agree (the index field is the list
                // position); they differ only for a face listed twice or an index field out of step.
                const auto k = static_cast<std::size_t>(face->index);
                float thickness = readThickness(faceColors, k);
                rays.lowerFaceThickness(*faceTree, *face, vertexCoords, thickness, origins.data());
                writeThickness(faceColors, k, thickness);
            }
        } catch (...) {
            rayPassFailure = std::current_exception();
        }
    } // the face tree is freed here, on every path
    if (rayPassFailure) return rayPassResult(rayPassFailure);

    try {
        for (std::size_t i = 0; i < n; ++i) {
            reporter.report(static_cast<int>(static_cast<float>(i) / faceCount * 5.0f + 95.0f));
            const float t = readThickness(faceColors, i);
            if (showType == Select) {
                const int selection = thicknessSelection(t, min, max);
                if (selection > 0) faces[i]->SetS();
                if (selection < 0) faces[i]->ClearS();
            } else if (showType == Color) {
                thicknessColour(
                    t, min, max, range, [this](float* rgb, float weight) { weight_to_gradientRgb(rgb, weight); },
                    faceColors[i]);
            }
        }
    } catch (const Kel::AbortException&) {
        return Result{2, "Abort operation"};
    } catch (...) {
        return Result{0, "Failed(Convert color error)"};
    }
    return Result{1, "Thickness analysis Successfully"};
}

} // namespace Analysis
