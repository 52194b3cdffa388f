// SPDX-License-Identifier: MIT
// Triangle / box overlap by the separating-axis theorem.
//
// This work is based on: Tomas Akenine-Moller, "Fast 3D Triangle-Box Overlap Testing",
// Journal of Graphics Tools 6(1), 2001. Thirteen candidate axes are tried: the nine cross
// products of the triangle's edges with the box axes, the three box axes (the triangle's
// bounding box against the box) and the triangle's normal (its plane against the box).
// Touching counts as overlap: an axis separates only with a strict gap.
#include "host/mesh/TriBoxOverlap.h"

#include <cmath>

namespace {

constexpr int X = 0;
constexpr int Y = 1;
constexpr int Z = 2;

inline void cross(float out[3], const float a[3], const float b[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

inline float dot(const float a[3], const float b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline void minMax3(float a, float b, float c, float& lo, float& hi)
{
    lo = hi = a;
    if (b < lo) lo = b;
    if (b > hi) hi = b;
    if (c < lo) lo = c;
    if (c > hi) hi = c;
}

// Interval [lo, hi] of the triangle's projection against the box's radius r on the same axis.
inline bool separated(float p, float q, float r)
{
    const float lo = p < q ? p : q;
    const float hi = p < q ? q : p;
    return lo > r || hi < -r;
}

// The plane through `vertex` with `normal` against a box centred at the origin.
bool planeBoxOverlap(const float normal[3], const float vertex[3], const float half[3])
{
    float vmin[3];
    float vmax[3];
    for (int q = X; q <= Z; ++q) {
        const float v = vertex[q];
        if (normal[q] > 0.0f) {
            vmin[q] = -half[q] - v;
            vmax[q] = half[q] - v;
        } else {
            vmin[q] = half[q] - v;
            vmax[q] = -half[q] - v;
        }
    }
    if (dot(normal, vmin) > 0.0f) return false;
    return dot(normal, vmax) >= 0.0f;
}

} // namespace

int TriBoxOverlap(const float boxCenter[3], const float boxHalfSize[3], const float triangle[3][3])
{
    // Move the box to the origin.
    float v0[3], v1[3], v2[3];
    for (int q = X; q <= Z; ++q) {
        v0[q] = triangle[0][q] - boxCenter[q];
        v1[q] = triangle[1][q] - boxCenter[q];
        v2[q] = triangle[2][q] - boxCenter[q];
    }
    float e0[3], e1[3], e2[3];
    for (int q = X; q <= Z; ++q) {
        e0[q] = v1[q] - v0[q];
        e1[q] = v2[q] - v1[q];
        e2[q] = v0[q] - v2[q];
    }
    const float* h = boxHalfSize;

    // Axes edge x (1,0,0): projection a*y - b*z, radius fa*hy + fb*hz. For each edge two of the
    // three vertices project alike, so only the other two are compared.
    auto axisX = [&](const float* e, const float* p, const float* q) {
        const float a = e[Z], b = e[Y], fa = std::fabs(e[Z]), fb = std::fabs(e[Y]);
        return separated(a * p[Y] - b * p[Z], a * q[Y] - b * q[Z], fa * h[Y] + fb * h[Z]);
    };
    // Axes edge x (0,1,0): projection -a*x + b*z, radius fa*hx + fb*hz.
    auto axisY = [&](const float* e, const float* p, const float* q) {
        const float a = e[Z], b = e[X], fa = std::fabs(e[Z]), fb = std::fabs(e[X]);
        return separated(-a * p[X] + b * p[Z], -a * q[X] + b * q[Z], fa * h[X] + fb * h[Z]);
    };
    // Axes edge x (0,0,1): projection a*x - b*y, radius fa*hx + fb*hy.
    auto axisZ = [&](const float* e, const float* p, const float* q) {
        const float a = e[Y], b = e[X], fa = std::fabs(e[Y]), fb = std::fabs(e[X]);
        return separated(a * p[X] - b * p[Y], a * q[X] - b * q[Y], fa * h[X] + fb * h[Y]);
    };

    if (axisX(e0, v0, v2) || axisY(e0, v0, v2) || axisZ(e0, v1, v2)) return 0;
    if (axisX(e1, v0, v2) || axisY(e1, v0, v2) || axisZ(e1, v0, v1)) return 0;
    if (axisX(e2, v0, v1) || axisY(e2, v0, v1) || axisZ(e2, v1, v2)) return 0;

    // The box axes: the triangle's bounding box against the box.
    float lo, hi;
    minMax3(v0[X], v1[X], v2[X], lo, hi);
    if (lo > h[X] || hi < -h[X]) return 0;
    minMax3(v0[Y], v1[Y], v2[Y], lo, hi);
    if (lo > h[Y] || hi < -h[Y]) return 0;
    minMax3(v0[Z], v1[Z], v2[Z], lo, hi);
    if (lo > h[Z] || hi < -h[Z]) return 0;

    // The triangle's normal.
    float normal[3];
    cross(normal, e0, e1);
    return planeBoxOverlap(normal, v0, h) ? 1 : 0;
}
