// SPDX-License-Identifier: MIT
// Analysis::MeshAnalyzer::statvis_calc_thickness: per-face wall thickness by rays cast along the inward
// normal through a face tree, then selection flags or a hue ramp over the thickness window.
#include "analysis/MeshAnalyzer.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include "analysis/FaceTree.h"
#include "analysis/SamplePatterns.h"
#include "common/HostMesh.h"

namespace Analysis {
namespace {

constexpr int patternLimit = 32;      // sample counts from here on cast one ray from the centroid
constexpr float originOffset = 2e-5f; // origins start this far inside, clear of the face itself

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

/// Inward unit normal of a counter-clockwise face, (p2 - p1) x (p1 - p0) divided by its length;
/// the zero vector when the squared length is not above 1e-35 (a face without area).
void faceNormalDirection(const float* p0, const float* p1, const float* p2, float* d)
{
    const float a[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
    const float b[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const float c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const float squared = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
    if (squared > 1e-35f) {
        const float length = std::sqrt(squared);
        d[0] = c[0] / length;
        d[1] = c[1] / length;
        d[2] = c[2] / length;
    } else {
        d[0] = d[1] = d[2] = 0.0f;
    }
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

/// Fixed sample positions inside a face, (u, v) with u + v <= 1, for 1 to 31 samples.
std::vector<SamplePoint> foldedPattern(int sampleCount)
{
    std::vector<SamplePoint> samples(static_cast<std::size_t>(sampleCount));
    jitterSamples(samples.data(), sampleCount);
    for (SamplePoint& s : samples) {
        float u = s.x + 0.5f;
        float v = s.y + 0.5f;
        // Fold the far half of the unit square onto the triangle.
        if (u + v > 1.0f) {
            u = 1.0f - u;
            v = 1.0f - v;
        }
        s.x = u < 0.0f ? 0.0f : (u > 1.0f ? 1.0f : u);
        s.y = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    }
    return samples;
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
    std::vector<SamplePoint> samples;
    const bool fromCentroid = sampleCount >= patternLimit;
    if (sampleCount > 0 && !fromCentroid) samples = foldedPattern(sampleCount);
    const std::size_t originCount = fromCentroid ? 1 : samples.size();

    ProgressReporter reporter{progress};
    const float faceCount = static_cast<float>(n);
    // The ray pass. Whatever it throws is kept, and turned into the Result once the face tree is freed.
    std::exception_ptr rayPassFailure;
    {
        // A failed build (memory) is not converted into a Result: it leaves the operation.
        const OwnedFaceTree faceTree = makeFaceTree(mesh, 0, vertexCoords, false);
        try {
            std::vector<float> origins(3 * originCount);
            for (std::size_t i = 0; i < n; ++i) {
                reporter.report(static_cast<int>(static_cast<float>(i) / faceCount * 95.0f));
                UTriangle<float>* face = faces[i];
                // A thickness belongs to its face, so this pass keeps it under the face's own index field; the
                // output pass walks the caller's buffer, which is indexed by list position, and gives every
                // entry exactly one outcome. For a host mesh the two agree (the index field is the list
                // position); they differ only for a face listed twice or an index field out of step.
                const auto k = static_cast<std::size_t>(face->index);
                const float* p[3];
                for (int c = 0; c < 3; ++c)
                    p[c] = vertexCoords ? vertexCoords[face->V(c)->ID()] : &face->P(c)[0];
                float d[3];
                faceNormalDirection(p[0], p[1], p[2], d);

                for (std::size_t s = 0; s < originCount; ++s) {
                    float* o = &origins[3 * s];
                    for (int a = 0; a < 3; ++a) {
                        if (fromCentroid)
                            o[a] = ((p[0][a] + p[1][a]) + p[2][a]) / 3.0f;
                        else
                            o[a] = ((p[1][a] - p[0][a]) * samples[s].x + p[0][a]) + (p[2][a] - p[0][a]) * samples[s].y;
                        o[a] = o[a] + d[a] * originOffset;
                    }
                }

                for (std::size_t s = 0; s < originCount; ++s) {
                    // Each ray looks only as far as the thickness found so far.
                    float t = readThickness(faceColors, k);
                    const UTriangle<float>* hitFace =
                        castFaceRay(*faceTree, &origins[3 * s], d, 0.0f, &t, nullptr, nullptr);
                    if (!hitFace || !(readThickness(faceColors, k) > t)) continue;
                    // Correct for the angle between the faces: walls at right angles (q = 0) never count.
                    const UVector3<float>& nh = hitFace->N();
                    const UVector3<float>& nf = face->N();
                    const float q = std::fabs(nh[0] * nf[0] + nh[1] * nf[1] + nh[2] * nf[2]);
                    const float open = 1.0f - q;
                    const float corrected = t / (1.0f - open * open * open);
                    if (readThickness(faceColors, k) > corrected) writeThickness(faceColors, k, corrected);
                }
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
