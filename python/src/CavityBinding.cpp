// SPDX-License-Identifier: MIT
// meshprobe.cavities(), orient(), check() and fix_winding(): located cavities for any build direction, the
// search over build directions and the mesh checks. Results are dicts written by the tool's own JSON code, so
// that a script reads the same names and numbers whether it calls the module or the tool.
#include <optional>
#include <string>
#include <utility>

#include <pybind11/stl.h>

#include "meshprobe/Error.h"
#include "meshprobe/Cavities.h"
#include "meshprobe/MeshChecks.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Profile.h"
#include "python/src/ArrayMesh.h"
#include "python/src/Bindings.h"
#include "python/src/LongCall.h"
#include "python/src/ToolLimits.h"
#include "toolkit/json/ResultJson.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

/// The toolkit's JSON of a result as Python dicts and lists: the tool's keys and numbers exactly.
py::object fromJson(const json::Json& value)
{
    return py::module_::import("json").attr("loads")(json::dumpJson(value));
}

Direction buildDirection(const std::optional<std::string>& up, const std::optional<std::string>& printer)
{
    if (up && printer) throw InputError("give up or printer, not both");
    if (printer) return printerPreset(*printer).up;
    return parseDirection(up.value_or("+z"));
}

py::dict cavities(ArrayMesh& mesh, int resolution, const std::optional<std::string>& up,
                  const std::optional<std::string>& printer, double minVolume, double drainHoles, bool solids,
                  std::optional<int> threads, py::object progress)
{
    CavityOptions options;
    options.resolution = resolution;
    options.up = buildDirection(up, printer);
    options.threads = threadCount(threads);
    requireAtMost("min_volume", minVolume, largestVolume, "mm³");
    requireAtMost("drain_holes", drainHoles, largestLength, "mm");
    options.minVolume = minVolume;
    options.drainHoleDiameter = drainHoles;
    options.solids = solids;
    PythonProgress report(std::move(progress));
    options.progress = report.callback();
    const MeshView view = mesh.view();
    CavitiesResult result = withoutGil(report, [&] { return findCavities(view, options); });

    json::Json written = json::Json::object();
    json::addCavitiesJson(written, result, minVolume, json::CavityMeshes::None, drainHoles > 0);
    py::dict out = fromJson(written);
    py::list listed = out["cavities"];
    for (std::size_t c = 0; c < result.cavities.size(); ++c)
        listed[c]["mesh"] = solids ? py::cast(ArrayMesh::fromMesh(std::move(result.cavities[c].solid))) : py::none();
    return out;
}

py::dict orientation(ArrayMesh& mesh, int resolution, int directions, std::optional<int> threads, py::object progress,
                     const std::optional<std::string>& printer, const std::optional<std::string>& profilePath,
                     double minVolume, bool refine)
{
    OrientOptions options;
    options.resolution = resolution;
    options.directions = directions;
    options.threads = threadCount(threads);
    requireAtMost("min_volume", minVolume, largestVolume, "mm³");
    options.minCavityVolume = minVolume;
    options.refineRounds = refine ? 2 : 0;
    if (printer && profilePath) throw InputError("give printer or profile, not both");
    if (printer || profilePath) {
        const Profile profile = printer ? builtinProfile(*printer) : loadProfile(*profilePath);
        options.ranking = rankingFor(profile.base);
        options.overhangAngle = profile.overhangAngle;
    }
    PythonProgress report(std::move(progress));
    options.progress = report.callback();
    const MeshView view = mesh.view();
    const OrientResult result = withoutGil(report, [&] { return orient(view, options); });
    json::Json ranked = json::Json::array();
    for (const OrientCandidate& candidate : result.candidates)
        ranked.push_back(json::orientCandidateJson(candidate, result.suctionCupsMeasured));
    py::list refined;
    for (const Direction& d : result.refined)
        refined.append(formatDirection(d));
    py::dict out;
    out["directions"] = fromJson(ranked);
    out["refined"] = std::move(refined);
    return out;
}

py::list check(ArrayMesh& mesh)
{
    return fromJson(json::warningsJson(checkMesh(mesh.view())));
}

py::tuple windingFixed(ArrayMesh& mesh)
{
    WindingFix fix = fixWinding(mesh.view());
    return py::make_tuple(ArrayMesh::fromMesh(std::move(fix.mesh)), fix.flippedFaces);
}

} // namespace

void bindCavities(py::module_& module)
{
    module.def("cavities", &cavities, py::arg("mesh"), py::arg("resolution") = 256, py::arg("up") = py::none(),
               py::arg("printer") = py::none(), py::arg("min_volume") = 0.0, py::arg("drain_holes") = 0.0,
               py::arg("solids") = true, py::arg("threads") = py::none(), py::arg("progress") = py::none(),
               R"(Trapped cavities located in the model's frame, for any build direction: `meshprobe trapped`.

mesh        a meshprobe.Mesh.
resolution  voxels along the longest side of the turned part's box, 1..1290.
up          the model direction that points up while printing: '+z' (default), '-z', '+x', '-x',
            '+y', '-y' or any vector 'x,y,z' such as '0,0.2,1'.
printer     instead of up, a printer kind: 'bottom-up-resin' (up -z), 'top-down-resin', 'powder',
            'fdm' (up +z).
min_volume  cavities below it (mm³) are only counted, in 'tiny_cavities'.
drain_holes a hole diameter (mm): suggest a drain per cavity and a vent per sealed one; 0 for none.
solids      give each cavity's closed surface as a Mesh ('mesh'); False gives None.
threads     worker threads, at least 1; None uses all cores.
progress    optional callable progress(percent: float); returning False cancels.

Returns a dict with the keys of `meshprobe trapped --json` ('resolution', 'voxel_size', 'up',
'up_vector', 'trapped_voxels', 'trapped_volume', 'cavity_count', 'min_cavity', 'tiny_cavities',
'cavities'); each cavity a dict with 'number', 'name', 'volume', 'voxels', 'estimated_volume',
'bounds', 'centroid', 'lowest_point', 'highest_point', 'lowest_height', 'highest_height', 'mesh',
and with drain_holes 'drain' (and for 'Closed' cavities 'vent'): a dict or None, and 'largest_hole'
(mm) where a hole of that diameter fits nowhere. Volumes are mm³ ('volume' and 'trapped_volume' in single
precision, as the analysis computes them, written as the shortest decimal of that float like the tool's
JSON), points mm.)");

    module.def("orient", &orientation, py::arg("mesh"), py::arg("resolution") = 256, py::arg("directions") = 26,
               py::arg("threads") = py::none(), py::arg("progress") = py::none(), py::arg("printer") = py::none(),
               py::arg("profile") = py::none(), py::arg("min_volume") = 0.0, py::arg("refine") = false,
               R"(Trapped material, supports and height for many build directions, best first: `meshprobe orient`.

directions  6 (the axes), 26 (axes, cube edges and corners) or any count spread over the sphere.
printer     rank for a built-in process ('bottom-up-resin', 'top-down-resin', 'powder', 'fdm'), or
profile     for a profile file's (a path); neither ranks by trapped material alone.
min_volume  cavities below it (mm³), like those under 8 voxels, neither count nor rank.
threads     directions analysed at once, one thread each; None uses all cores.
refine      after the coarse pass, two rounds of directions on shrinking cones around the best 3
            (`orient --refine`).

Returns {'directions': a list of dicts ('up', 'up_vector', 'trapped_volume', 'estimated_volume',
'trapped_voxels', 'cavities', 'sealed_cavities', 'sealed_volume', 'noise_cavities', 'overhang_area',
'islands', 'build_height', 'footprint', 'voxel_size', 'resolution', and for bottom-up resin
'suction_cups' and 'suction_volume') best first, as the tool ranks them, 'refined': the directions
refine added}; the first one's 'up' can be passed to cavities().)");

    module.def("_mesh_warnings", &check, py::arg("mesh"),
               R"(The mesh checks the tool runs before an analysis: a list of dicts {'code', 'count', 'text'}
for open edges, non-manifold edges, inconsistent winding, inside-out shells, several bodies and
zero-area faces; empty for a sound closed mesh.)");

    module.def("fix_winding", &windingFixed, py::arg("mesh"),
               R"(Makes the winding consistent and turns inside-out shells: returns (Mesh, flipped_faces).
Vertices and face order are kept.)");
}

} // namespace meshprobe::python
