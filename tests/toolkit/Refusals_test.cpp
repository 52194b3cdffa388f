// SPDX-License-Identifier: MIT
// Every public toolkit call at the edges of what it accepts: the value just outside its range, zero,
// negative, infinite, NaN or empty is refused with an InputError that says what is wrong; the value just
// inside is taken.
#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "meshprobe/BuildDirection.h"
#include "meshprobe/Cavities.h"
#include "meshprobe/Error.h"
#include "meshprobe/Import.h"
#include "meshprobe/Inspect.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThicknessColours.h"
#include "meshprobe/TrappedVolumes.h"
#include "tests/support/TestMeshes.h"

namespace {

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

struct Boundary {
    const char* call;
    std::function<void(const meshprobe::MeshView&)> run;
    const char* refusal; ///< a part of the InputError's message; nullptr: the call is accepted
};

meshprobe::ThicknessResult thicknessWith(const meshprobe::MeshView& m, float min, float max, int threads = 0)
{
    meshprobe::ThicknessOptions o;
    o.min = min;
    o.max = max;
    o.samples = 1;
    o.threads = threads;
    return meshprobe::thickness(m, o);
}

meshprobe::TrappedResult trappedWith(const meshprobe::MeshView& m, int resolution, int threads = 0)
{
    meshprobe::TrappedOptions o;
    o.resolution = resolution;
    o.threads = threads;
    return meshprobe::trappedVolumes(m, o);
}

meshprobe::CavitiesResult cavitiesWith(const meshprobe::MeshView& m, double minVolume, double drill,
                                       meshprobe::Direction up = {0, 0, 1}, int resolution = 8)
{
    meshprobe::CavityOptions o;
    o.resolution = resolution;
    o.minVolume = minVolume;
    o.drainHoleDiameter = drill;
    o.up = up;
    return meshprobe::findCavities(m, o);
}

meshprobe::OrientResult orientWith(const meshprobe::MeshView& m, int resolution, int directions, int threads = 0)
{
    meshprobe::OrientOptions o;
    o.resolution = resolution;
    o.directions = directions;
    o.threads = threads;
    return meshprobe::orient(m, o);
}

/// The cube with its triangle `t` using vertex `v` in its first corner.
void validateWithCorner(const meshprobe::MeshView& m, std::size_t t, std::uint32_t v)
{
    std::vector<std::uint32_t> triangles(m.triangles, m.triangles + 3 * m.triangleCount);
    triangles[3 * t] = v;
    meshprobe::MeshView changed = m;
    changed.triangles = triangles.data();
    meshprobe::validate(changed);
}

void validateWithCoordinate(const meshprobe::MeshView& m, float value)
{
    std::vector<float> vertices(m.vertices, m.vertices + 3 * m.vertexCount);
    vertices[3 * 7 + 1] = value;
    meshprobe::MeshView changed = m;
    changed.vertices = vertices.data();
    meshprobe::validate(changed);
}

using M = const meshprobe::MeshView&;

const Boundary boundaries[] = {
    // The thickness window: min from 0, max from min, both finite; threads from 0 (all cores).
    {"thickness min -1e-6", [](M m) { thicknessWith(m, -1e-6f, 1); }, "is negative"},
    {"thickness min 0", [](M m) { thicknessWith(m, 0, 1); }, nullptr},
    {"thickness min NaN", [](M m) { thicknessWith(m, nan, 1); }, "min must be a finite number"},
    {"thickness max inf", [](M m) { thicknessWith(m, 0, inf); }, "max must be a finite number"},
    {"thickness max -inf", [](M m) { thicknessWith(m, 0, -inf); }, "max must be a finite number"},
    {"thickness min above max", [](M m) { thicknessWith(m, 1.0001f, 1); }, "is greater than max"},
    {"thickness min = max", [](M m) { thicknessWith(m, 1, 1); }, nullptr},
    {"thickness threads -1", [](M m) { thicknessWith(m, 0, 1, -1); }, "threads -1 is negative"},
    // Trapped volumes and cavities: resolution 1..1290, threads from 0.
    {"trapped resolution 0", [](M m) { trappedWith(m, 0); }, "resolution 0 is outside 1..1290"},
    {"trapped resolution 1291", [](M m) { trappedWith(m, 1291); }, "resolution 1291 is outside 1..1290"},
    {"trapped resolution -1", [](M m) { trappedWith(m, -1); }, "outside 1..1290"},
    {"trapped resolution 1", [](M m) { trappedWith(m, 1); }, nullptr},
    {"trapped threads -1", [](M m) { trappedWith(m, 8, -1); }, "threads -1 is negative"},
    {"cavities resolution 0",
     [](M m) {
         cavitiesWith(m, 0, 0, {0, 0, 1}, 0);
     },
     "outside 1..1290"},
    {"cavities min volume -1e-9", [](M m) { cavitiesWith(m, -1e-9, 0); }, "must be 0 or more"},
    {"cavities min volume NaN", [](M m) { cavitiesWith(m, nan, 0); }, "must be 0 or more"},
    {"cavities min volume inf", [](M m) { cavitiesWith(m, inf, 0); }, "must be 0 or more"},
    {"cavities min volume 0", [](M m) { cavitiesWith(m, 0, 0); }, nullptr},
    {"cavities drill -1e-9", [](M m) { cavitiesWith(m, 0, -1e-9); }, "drain hole diameter"},
    {"cavities drill inf", [](M m) { cavitiesWith(m, 0, inf); }, "drain hole diameter"},
    {"cavities drill NaN", [](M m) { cavitiesWith(m, 0, nan); }, "drain hole diameter"},
    {"cavities up zero",
     [](M m) {
         cavitiesWith(m, 0, 0, {0, 0, 0});
     },
     "unit vector"},
    {"cavities up too long",
     [](M m) {
         cavitiesWith(m, 0, 0, {0, 0, 1.00001});
     },
     "unit vector"},
    {"cavities up NaN",
     [](M m) {
         cavitiesWith(m, 0, 0, {nan, 0, 1});
     },
     "unit vector"},
    {"cavities up slanted unit",
     [](M m) {
         cavitiesWith(m, 0, 0, {0.6, 0, 0.8});
     },
     nullptr},
    // Orientation: resolution 1..1290, 1..10000 directions, threads from 0, a part with vertices.
    {"orient resolution 0", [](M m) { orientWith(m, 0, 6); }, "resolution 0 is outside 1..1290"},
    {"orient resolution 1291", [](M m) { orientWith(m, 1291, 6); }, "resolution 1291 is outside 1..1290"},
    {"orient directions 0", [](M m) { orientWith(m, 4, 0); }, "direction count 0 is outside 1..10000"},
    {"orient directions 10001", [](M m) { orientWith(m, 4, 10001); }, "direction count 10001"},
    {"orient directions 1", [](M m) { orientWith(m, 4, 1); }, nullptr},
    {"orient threads -1", [](M m) { orientWith(m, 4, 6, -1); }, "threads -1 is negative"},
    {"orient empty part", [](M) { orientWith(meshprobe::MeshView{}, 4, 6); }, "no vertices"},
    {"directions -1", [](M) { meshprobe::candidateDirections(-1); }, "direction count -1"},
    {"directions 10000", [](M) { meshprobe::candidateDirections(10000); }, nullptr},
    // Meshes: an index equal to the vertex count, coordinates that are not finite, arrays announced but absent.
    {"triangle uses vertex 8 of 8", [](M m) { validateWithCorner(m, 11, 8); }, "triangle 11 uses vertex 8"},
    {"triangle uses vertex 7 of 8", [](M m) { validateWithCorner(m, 11, 7); }, nullptr},
    {"vertex NaN", [](M m) { validateWithCoordinate(m, nan); }, "vertex 7 has a NaN coordinate"},
    {"vertex -inf", [](M m) { validateWithCoordinate(m, -inf); }, "vertex 7 has an infinite coordinate"},
    {"vertex largest float", [](M m) { validateWithCoordinate(m, std::numeric_limits<float>::max()); }, nullptr},
    {"triangles announced, none given",
     [](M m) {
         meshprobe::MeshView v = m;
         v.triangles = nullptr;
         meshprobe::validate(v);
     },
     "12 triangles announced"},
    {"selected face 12 of 12",
     [](M m) {
         meshprobe::markingAreas(m, {0, 12}, "a");
     },
     "face 12 does not exist"},
    {"selected face 11 of 12",
     [](M m) {
         meshprobe::markingAreas(m, {0, 11}, "a");
     },
     nullptr},
    // Words and numbers a user types.
    {"direction empty", [](M) { meshprobe::parseDirection(""); }, "give three components"},
    {"direction zero", [](M) { meshprobe::parseDirection("0,0,0"); }, "the zero vector has no direction"},
    {"direction inf", [](M) { meshprobe::parseDirection("inf,0,1"); }, "components must be finite"},
    {"direction nan", [](M) { meshprobe::parseDirection("0,nan,1"); }, "components must be finite"},
    {"direction two components", [](M) { meshprobe::parseDirection("0,1"); }, "give three components"},
    {"direction tiny", [](M) { meshprobe::parseDirection("0,0,1e-30"); }, nullptr},
    {"build direction empty", [](M) { meshprobe::parseBuildDirection(""); }, "unknown build direction ''"},
    {"unit empty", [](M) { meshprobe::millimetresPerUnit(""); }, "unknown length unit ''"},
    {"printer empty", [](M) { meshprobe::printerPreset(""); }, "unknown printer ''"},
    // Figures over measured values: one bin or more, a finite window with min <= max.
    {"histogram 0 bins", [](M) { meshprobe::thicknessHistogram({0.5f}, 0, 1, 0); }, "at least one bin"},
    {"histogram 1 bin", [](M) { meshprobe::thicknessHistogram({0.5f}, 0, 1, 1); }, nullptr},
    {"histogram min NaN", [](M) { meshprobe::thicknessHistogram({0.5f}, nan, 1); }, "finite numbers with min <= max"},
    {"histogram max inf", [](M) { meshprobe::thicknessHistogram({0.5f}, 0, inf); }, "finite numbers with min <= max"},
    {"histogram min above max", [](M) { meshprobe::thicknessHistogram({0.5f}, 2, 1); }, "min <= max"},
    {"colours max NaN", [](M) { meshprobe::thicknessColours({0.5f}, 0, nan, 1, {}); }, "min <= max"},
    {"colours min above max", [](M) { meshprobe::thicknessColours({0.5f}, 1.0001f, 1, 1, {}); }, "min <= max"},
    {"colours min = max", [](M) { meshprobe::thicknessColours({0.5f}, 1, 1, 1, {}); }, nullptr},
};

TEST(Refusals, EveryCallAtTheEdgeOfItsRange)
{
    const testmesh::Soup cube = testmesh::box(0, 0, 0, 1, 1, 1);
    for (const Boundary& b : boundaries) {
        try {
            b.run(cube.view());
            EXPECT_EQ(b.refusal, nullptr) << b.call << ": accepted";
        } catch (const meshprobe::InputError& e) {
            EXPECT_NE(b.refusal, nullptr) << b.call << ": refused: " << e.what();
            if (b.refusal) {
                EXPECT_NE(std::string(e.what()).find(b.refusal), std::string::npos) << b.call << ": " << e.what();
            }
        }
    }
}

} // namespace
