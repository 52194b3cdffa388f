// SPDX-License-Identifier: MIT
// Drill cylinders for suggested holes.
#include "meshprobe/DrainHoles.h"

#include <cmath>

namespace meshprobe {

Mesh drainHoleCylinders(const std::vector<DrainHole>& holes, int segments)
{
    segments = std::max(segments, 3);
    Mesh mesh;
    for (const DrainHole& hole : holes) {
        const auto& d = hole.direction; // from the exit towards the wall
        // Two unit vectors across the axis.
        std::array<double, 3> u =
            std::fabs(d[0]) < 0.9 ? std::array<double, 3>{1, 0, 0} : std::array<double, 3>{0, 1, 0};
        const double along = u[0] * d[0] + u[1] * d[1] + u[2] * d[2];
        for (int k = 0; k < 3; ++k)
            u[k] -= along * d[k];
        const double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        for (double& c : u)
            c /= ul;
        const std::array<double, 3> v{d[1] * u[2] - d[2] * u[1], d[2] * u[0] - d[0] * u[2], d[0] * u[1] - d[1] * u[0]};
        const double r = hole.diameter / 2, overshoot = hole.diameter / 4;
        std::array<double, 3> ends[2];
        for (int k = 0; k < 3; ++k) {
            ends[0][k] = hole.exitPoint[k] - overshoot * d[k];
            ends[1][k] = hole.wallPoint[k] + overshoot * d[k];
        }
        const auto base = static_cast<std::uint32_t>(mesh.vertexCount());
        for (const auto& e : ends) { // ring vertices, then the two cap centres
            for (int s = 0; s < segments; ++s) {
                const double a = 2 * M_PI * s / segments;
                for (int k = 0; k < 3; ++k)
                    mesh.vertices.push_back(float(e[k] + r * (std::cos(a) * u[k] + std::sin(a) * v[k])));
            }
        }
        for (const auto& e : ends)
            for (int k = 0; k < 3; ++k)
                mesh.vertices.push_back(float(e[k]));
        const std::uint32_t ring0 = base, ring1 = base + segments, cap0 = base + 2 * segments, cap1 = cap0 + 1;
        // u x v = d, so the rings run counter-clockwise seen from the wall end (looking back along -d).
        for (int s = 0; s < segments; ++s) {
            const std::uint32_t a = s, b = (s + 1) % segments;
            mesh.triangles.insert(mesh.triangles.end(),
                                  {ring0 + a, ring1 + b, ring1 + a, ring0 + a, ring0 + b, ring1 + b});
            mesh.triangles.insert(mesh.triangles.end(), {cap0, ring0 + b, ring0 + a});
            mesh.triangles.insert(mesh.triangles.end(), {cap1, ring1 + a, ring1 + b});
        }
    }
    return mesh;
}

} // namespace meshprobe
