// SPDX-License-Identifier: MIT
// Analysis::MeshAnalyzer::statvis_calc_thickness: per-face wall thickness by rays cast along the inward
// normal through a face tree, then selection flags or a hue ramp over the thickness window.
#include "analysis/MeshAnalyzer.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include "analysis/FaceTree.h"
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

/// A colour channel in [0, 1] as a byte, rounded to nearest.
inline unsigned char channelByte(float x)
{
    if (x <= 0.0f) return 0;
    if (x > 0.998039186f) return 255; // 1 - 0.5 / 255
    return static_cast<unsigned char>(x * 255.0f + 0.5f);
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
            if (t < max) {
                if (showType == Select) {
                    if (t > min) faces[i]->SetS();
                } else if (showType == Color) {
                    float weight = (t - min) * range;
                    weight = weight < 0.0f ? 0.0f : (weight < 1.0f ? weight : 1.0f);
                    float rgb[3];
                    weight_to_gradientRgb(rgb, weight);
                    faceColors[i][0] = channelByte(rgb[0]);
                    faceColors[i][1] = channelByte(rgb[1]);
                    faceColors[i][2] = channelByte(rgb[2]);
                    faceColors[i][3] = 255;
                }
            } else if (showType == Select) {
                faces[i]->ClearS();
            } else if (showType == Color) {
                faceColors[i][0] = 0;
                faceColors[i][1] = 255;
                faceColors[i][2] = 128;
                faceColors[i][3] = 255;
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
