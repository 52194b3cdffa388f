// SPDX-License-Identifier: MIT
// ThicknessRays: sample pattern, ray origins along the inward normal, and the angle-corrected lowering of
// a face's thickness.
#include "analysis/ThicknessRays.h"

#include <cmath>

#include "analysis/FaceRayPacket.h"

namespace Analysis {
namespace {

constexpr int patternLimit = 32;      // sample counts from here on cast one ray from the centroid
constexpr float originOffset = 2e-5f; // origins start this far inside, clear of the face itself

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

ThicknessRays::ThicknessRays(int sampleCount) : fromCentroid(sampleCount >= patternLimit)
{
    if (sampleCount > 0 && !fromCentroid) samples = foldedPattern(sampleCount);
    originCount = fromCentroid ? 1 : samples.size();
}

void ThicknessRays::lowerFaceThickness(const FaceTree& faceTree, const UTriangle<float>& face, const float (*coords)[3],
                                       float& thickness, float* origins) const
{
    const float* p[3];
    for (int c = 0; c < 3; ++c)
        p[c] = coords ? coords[face.V(c)->ID()] : &face.P(c)[0];
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

    // The rays of a face are parallel, so they walk the tree as one packet. The packet walks every ray
    // as far as the thickness the face started with, whereas each ray should look only as far as the
    // thickness its predecessors left. For a ray this changes nothing but the pruning of its own walk:
    // a smaller limit skips only nodes that the larger one entered at or beyond the smaller limit, and
    // hits found there lie at or beyond it too, except for a hit below the entry of a bound on its path
    // (rounding at a leaf bound). rayHitAt takes the ray's answer for the smaller limit from the packet
    // and declines where such a hit could matter; that ray is then cast on its own. So each ray's face
    // and distance, and so the face's thickness, are those of casting the rays one after another.
    const std::vector<UTriangle<float>*>& faces = faceTree.mesh->faces;
    FacePacketHits hits;
    const bool packed = originCount > 1 && originCount <= static_cast<std::size_t>(maxPacketRays) &&
                        castFacePacket(faceTree, origins, static_cast<int>(originCount), d, thickness, hits);

    for (std::size_t s = 0; s < originCount; ++s) {
        // Each ray looks only as far as the thickness found so far.
        float t = thickness;
        const UTriangle<float>* hitFace = nullptr;
        int hitIndex;
        float hitDistance;
        if (packed && rayHitAt(hits, static_cast<int>(s), thickness, hitIndex, hitDistance)) {
            if (hitIndex >= 0) {
                hitFace = faces[static_cast<std::size_t>(hitIndex)];
                t = hitDistance;
            }
        } else {
            hitFace = castFaceRay(faceTree, &origins[3 * s], d, 0.0f, &t, nullptr, nullptr);
        }
        if (!hitFace || !(thickness > t)) continue;
        // Correct for the angle between the faces: walls at right angles (q = 0) never count.
        const UVector3<float>& nh = hitFace->N();
        const UVector3<float>& nf = face.N();
        const float q = std::fabs(nh[0] * nf[0] + nh[1] * nf[1] + nh[2] * nf[2]);
        const float open = 1.0f - q;
        const float corrected = t / (1.0f - open * open * open);
        if (thickness > corrected) thickness = corrected;
    }
}

} // namespace Analysis
