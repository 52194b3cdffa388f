// SPDX-License-Identifier: MIT
// Jittered sample patterns: a jittered lattice relaxed by repulsion on the torus.
#include "analysis/SamplePatterns.h"

#include <cmath>
#include <vector>

namespace Analysis {
namespace {

/// Wraps a coordinate into [0, 1) by subtracting its floor.
inline float wrapUnit(float value)
{
    return value - std::floor(value);
}

} // namespace

void relaxRadial(SamplePoint* points, SamplePoint* scratch, int n, float radius)
{
    for (int i = n - 1; i >= 0; --i) {
        const float x = points[i].x;
        const float y = points[i].y;
        float fx = 0.0f;
        float fy = 0.0f;
        for (int j = n - 1; j >= 0; --j) {
            if (j == i) continue;
            // Offsets to the nine periodic images of point j: rows in y, then columns in x.
            float dy = (points[j].y - y) - 1.0f;
            for (int row = 0; row < 3; ++row) {
                float dx = (points[j].x - x) - 1.0f;
                for (int column = 0; column < 3; ++column) {
                    if (std::fabs(dx) < radius && std::fabs(dy) < radius) {
                        float length = std::sqrt(dx * dx + dy * dy);
                        if (length > 0.0f && length < radius) {
                            // A push of fixed size radius along the offset: offset / (length / radius).
                            length = length / radius;
                            fx += dx / length;
                            fy += dy / length;
                        }
                    }
                    dx += 1.0f;
                }
                dy += 1.0f;
            }
        }
        scratch[i].x = wrapUnit(x - fx / 18.0f);
        scratch[i].y = wrapUnit(y - fy / 18.0f);
    }
    for (int i = 0; i < n; ++i)
        points[i] = scratch[i];
}

void relaxAxial(SamplePoint* points, SamplePoint* scratch, int n, float radius)
{
    for (int i = n - 1; i >= 0; --i) {
        const float x = points[i].x;
        const float y = points[i].y;
        float fx = 0.0f;
        float fy = 0.0f;
        for (int j = n - 1; j >= 0; --j) {
            if (j == i) continue;
            // Each axis on its own, over the three periodic images along it.
            float dx = (points[j].x - x) - 1.0f;
            for (int image = 0; image < 3; ++image) {
                if (std::fabs(dx) < radius) fx += dx * radius;
                dx += 1.0f;
            }
            float dy = (points[j].y - y) - 1.0f;
            for (int image = 0; image < 3; ++image) {
                if (std::fabs(dy) < radius) fy += dy * radius;
                dy += 1.0f;
            }
        }
        scratch[i].x = wrapUnit(x - fx * 0.5f);
        scratch[i].y = wrapUnit(y - fy * 0.5f);
    }
    for (int i = 0; i < n; ++i)
        points[i] = scratch[i];
}

void jitterSamples(SamplePoint* points, int n)
{
    if (n <= 0) return;
    const float count = static_cast<float>(n);
    const float side = std::sqrt(count);
    const float radius1 = 1.0f / side; // lattice spacing, also the radial relaxation radius
    const float step = side / count;   // x advance per point: 1 / sqrt(n)
    const float radius2 = 1.0f / count;

    // Jittered lattice: x advances by 1/sqrt(n) modulo 1, y by 1/n; both jittered by up to half a spacing.
    Rand48 random(n + 31415926);
    float x = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float jitterX = static_cast<float>(0.5 - random.next());
        points[i].x = jitterX * radius1 + x;
        const float jitterY = static_cast<float>(0.5 - random.next());
        x = x + step;
        points[i].y = jitterY * radius1 + static_cast<float>(i) / count;
        x = x - std::floor(x);
    }

    std::vector<SamplePoint> scratch(static_cast<std::size_t>(n));
    for (int pass = 0; pass < 24; ++pass) {
        relaxRadial(points, scratch.data(), n, radius1);
        relaxRadial(points, scratch.data(), n, radius1);
        relaxAxial(points, scratch.data(), n, radius2);
    }

    for (int i = 0; i < n; ++i) {
        points[i].x -= 0.5f;
        points[i].y -= 0.5f;
    }
}

} // namespace Analysis
