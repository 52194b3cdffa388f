// SPDX-License-Identifier: MIT
// Build directions: parsing, the shortest-arc rotation to +z, printer presets and candidate directions.
#include "meshprobe/Orientation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "meshprobe/Error.h"

namespace meshprobe {

namespace {

struct NamedAxis {
    const char* name;
    Direction axis;
};

constexpr NamedAxis namedAxes[] = {{"+z", {0, 0, 1}},  {"-z", {0, 0, -1}}, {"+x", {1, 0, 0}},
                                   {"-x", {-1, 0, 0}}, {"+y", {0, 1, 0}},  {"-y", {0, -1, 0}}};

std::string trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

} // namespace

Direction parseDirection(const std::string& text)
{
    const std::string t = trim(text);
    for (const NamedAxis& a : namedAxes)
        if (t == a.name) return a.axis;
    const std::string bad = "direction '" + text + "': ";
    std::vector<double> values;
    std::stringstream parts(t);
    std::string part;
    while (std::getline(parts, part, ',')) {
        const std::string number = trim(part);
        std::size_t used = 0;
        double value = 0.0;
        try {
            value = std::stod(number, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (number.empty() || used != number.size())
            throw InputError(bad + "'" + number + "' is not a number (use +z, -z, +x, -x, +y, -y or x,y,z)");
        if (!std::isfinite(value)) throw InputError(bad + "components must be finite");
        values.push_back(value);
    }
    if (values.size() != 3) throw InputError(bad + "give three components x,y,z or one of +z, -z, +x, -x, +y, -y");
    const double length = std::sqrt(values[0] * values[0] + values[1] * values[1] + values[2] * values[2]);
    if (!(length > 0.0) || !std::isfinite(length)) throw InputError(bad + "the zero vector has no direction");
    Direction d{values[0] / length, values[1] / length, values[2] / length};
    // Axis directions stay exact, so that "0,0,-2" means the same grid as "-z".
    for (const NamedAxis& a : namedAxes)
        if (d[0] == a.axis[0] && d[1] == a.axis[1] && d[2] == a.axis[2]) return a.axis;
    return d;
}

std::string formatDirection(const Direction& up)
{
    for (const NamedAxis& a : namedAxes)
        if (up == a.axis) return a.name;
    std::string out;
    for (int k = 0; k < 3; ++k) {
        char buffer[32];
        const double v = std::fabs(up[k]) < 5e-5 ? 0.0 : up[k];
        std::snprintf(buffer, sizeof buffer, "%.4g", v);
        out += (k ? "," : "") + std::string(buffer);
    }
    return out;
}

std::array<double, 3> Rotation::apply(const std::array<double, 3>& p) const
{
    return {m[0] * p[0] + m[1] * p[1] + m[2] * p[2], m[3] * p[0] + m[4] * p[1] + m[5] * p[2],
            m[6] * p[0] + m[7] * p[1] + m[8] * p[2]};
}

std::array<double, 3> Rotation::applyInverse(const std::array<double, 3>& p) const
{
    return {m[0] * p[0] + m[3] * p[1] + m[6] * p[2], m[1] * p[0] + m[4] * p[1] + m[7] * p[2],
            m[2] * p[0] + m[5] * p[1] + m[8] * p[2]};
}

Rotation rotationTakingToZ(const Direction& up)
{
    Rotation r;
    const double c = up[2];                          // cos of the angle between up and +z
    const double s2 = up[0] * up[0] + up[1] * up[1]; // its sin squared, accurate also near -z
    if (s2 == 0.0) {
        if (c < 0.0) r.m = {1, 0, 0, 0, -1, 0, 0, 0, -1}; // -z: the half turn about x
        return r;
    }
    // Rodrigues' formula about k = up x z / |up x z| = (up.y, -up.x, 0) / s; (1 - c) / s^2 stays finite
    // where 1 / (1 + c) would not.
    const double kx = up[1], ky = -up[0]; // k * s
    const double f = (1.0 - c) / s2;
    r.m = {c + kx * kx * f, kx * ky * f, ky, kx * ky * f, c + ky * ky * f, -kx, -ky, kx, c};
    return r;
}

Mesh rotated(const MeshView& mesh, const Rotation& rotation)
{
    Mesh out;
    out.vertices.resize(mesh.vertexCount * 3);
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        const float* p = mesh.vertices + 3 * v;
        const auto q = rotation.apply({double(p[0]), double(p[1]), double(p[2])});
        for (int k = 0; k < 3; ++k)
            out.vertices[3 * v + k] = static_cast<float>(q[k]);
    }
    out.triangles.assign(mesh.triangles, mesh.triangles + 3 * mesh.triangleCount);
    return out;
}

const std::vector<PrinterPreset>& printerPresets()
{
    static const std::vector<PrinterPreset> presets = {
        {"bottom-up-resin",
         {0, 0, -1},
         "resin printers that pull the part up out of a vat: it hangs upside down, --up -z"},
        {"top-down-resin", {0, 0, 1}, "resin printers that lower the part into the vat: it grows upward, --up +z"},
        {"powder", {0, 0, 1}, "powder-bed printers (SLS, MJF, binder jetting): the part grows upward, --up +z"},
        {"fdm", {0, 0, 1}, "extrusion printers (FDM/FFF): the part grows upward from the bed, --up +z"},
    };
    return presets;
}

const PrinterPreset& printerPreset(const std::string& name)
{
    std::string known;
    for (const PrinterPreset& p : printerPresets()) {
        if (p.name == name) return p;
        known += (known.empty() ? "" : ", ") + p.name;
    }
    throw InputError("unknown printer '" + name + "' (use " + known + ")");
}

std::vector<Direction> candidateDirections(int count)
{
    if (count < 1 || count > 10000)
        throw InputError("direction count " + std::to_string(count) + " is outside 1..10000");
    std::vector<Direction> out;
    if (count == 6 || count == 26) {
        for (const NamedAxis& a : namedAxes)
            out.push_back(a.axis);
        if (count == 6) return out;
        const double e = 1.0 / std::sqrt(2.0), v = 1.0 / std::sqrt(3.0);
        for (int a = 0; a < 3; ++a) // edges: two non-zero components
            for (int sa : {1, -1})
                for (int sb : {1, -1}) {
                    Direction d{0, 0, 0};
                    d[a] = sa * e;
                    d[(a + 1) % 3] = sb * e;
                    out.push_back(d);
                }
        for (int sx : {1, -1}) // corners
            for (int sy : {1, -1})
                for (int sz : {1, -1})
                    out.push_back({sx * v, sy * v, sz * v});
        return out;
    }
    if (count == 1) return {{0, 0, 1}};
    // Fibonacci lattice: equal-area bands in z, longitudes advancing by the golden angle.
    const double golden = M_PI * (3.0 - std::sqrt(5.0));
    for (int i = 0; i < count; ++i) {
        const double z = 1.0 - (2.0 * i + 1.0) / count;
        const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
        out.push_back({r * std::cos(golden * i), r * std::sin(golden * i), z});
    }
    return out;
}

} // namespace meshprobe
