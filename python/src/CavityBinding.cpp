// SPDX-License-Identifier: MIT
// meshprobe.cavities(), orient(), check() and fix_winding(): located cavities for any build direction, the
// search over build directions and the mesh checks. Results are dicts with the keys of the tool's JSON, so
// that a script reads the same names whether it calls the module or the tool.
#include <optional>
#include <string>
#include <utility>

#include <pybind11/stl.h>

#include "meshprobe/Cavities.h"
#include "meshprobe/MeshChecks.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Profile.h"
#include "python/src/ArrayMesh.h"
#include "python/src/Bindings.h"
#include "python/src/LongCall.h"
#include "python/src/ToolLimits.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

py::list point(const std::array<double, 3>& p)
{
    // + 0.0 turns the rotations' -0 into 0, as the tool's JSON does.
    return py::cast(std::vector<double>{p[0] + 0.0, p[1] + 0.0, p[2] + 0.0});
}

py::object hole(const std::optional<DrainHole>& h)
{
    if (!h) return py::none();
    py::dict d;
    d["wall_point"] = point(h->wallPoint);
    d["exit_point"] = point(h->exitPoint);
    d["direction"] = point(h->direction);
    d["length"] = h->length;
    d["diameter"] = h->diameter;
    d["reachable"] = h->reachable;
    return d;
}

Direction buildDirection(const std::optional<std::string>& up, const std::optional<std::string>& printer)
{
    if (up && printer) throw py::value_error("give up or printer, not both");
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

    py::list listed;
    for (CavityReport& c : result.cavities) {
        py::dict d;
        d["number"] = c.number;
        d["name"] = c.name();
        d["volume"] = c.volume;
        d["voxels"] = c.voxels;
        d["estimated_volume"] = c.estimatedVolume;
        py::list bounds;
        bounds.append(point(c.boundsMin));
        bounds.append(point(c.boundsMax));
        d["bounds"] = bounds;
        d["centroid"] = point(c.centroid);
        d["lowest_point"] = point(c.lowestPoint);
        d["highest_point"] = point(c.highestPoint);
        d["lowest_height"] = c.lowestHeight;
        d["highest_height"] = c.highestHeight;
        if (drainHoles > 0) {
            d["drain"] = hole(c.drain);
            if (c.closed) d["vent"] = hole(c.vent);
            if (c.largestHoleDiameter) d["largest_hole"] = *c.largestHoleDiameter;
        }
        d["mesh"] = solids ? py::cast(ArrayMesh::fromMesh(std::move(c.solid))) : py::none();
        listed.append(std::move(d));
    }
    py::dict out;
    out["resolution"] = result.resolution;
    out["voxel_size"] = result.voxelSize;
    out["up"] = formatDirection(result.up);
    out["up_vector"] = point(result.up);
    out["trapped_voxels"] = result.trappedVoxels;
    out["trapped_volume"] = result.trappedVolume;
    out["cavity_count"] = result.cavityCount;
    out["min_cavity"] = minVolume;
    py::dict tiny;
    tiny["count"] = result.tinyCavities;
    tiny["volume"] = result.tinyVolume;
    out["tiny_cavities"] = std::move(tiny);
    out["cavities"] = std::move(listed);
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
    if (printer && profilePath) throw py::value_error("give printer or profile, not both");
    if (printer || profilePath) {
        const Profile profile = printer ? builtinProfile(*printer) : loadProfile(*profilePath);
        options.ranking = rankingFor(profile.base);
        options.overhangAngle = profile.overhangAngle;
    }
    PythonProgress report(std::move(progress));
    options.progress = report.callback();
    const MeshView view = mesh.view();
    const OrientResult result = withoutGil(report, [&] { return orient(view, options); });
    py::list ranked;
    for (const OrientCandidate& c : result.candidates) {
        py::dict d;
        d["up"] = formatDirection(c.up);
        d["up_vector"] = point(c.up);
        d["trapped_volume"] = c.trappedVolume;
        d["estimated_volume"] = c.estimatedVolume;
        d["trapped_voxels"] = c.trappedVoxels;
        d["cavities"] = c.cavities;
        d["sealed_cavities"] = c.sealedCavities;
        d["sealed_volume"] = c.sealedVolume;
        d["noise_cavities"] = c.noiseCavities;
        d["overhang_area"] = c.overhangArea;
        d["islands"] = c.islands;
        d["build_height"] = c.buildHeight;
        d["footprint"] = c.footprint;
        d["voxel_size"] = c.voxelSize;
        d["resolution"] = c.resolution;
        if (result.suctionCupsMeasured) {
            d["suction_cups"] = c.suctionCups;
            d["suction_volume"] = c.suctionCupVolume;
        }
        ranked.append(std::move(d));
    }
    py::list refined;
    for (const Direction& d : result.refined)
        refined.append(formatDirection(d));
    py::dict out;
    out["directions"] = std::move(ranked);
    out["refined"] = std::move(refined);
    return out;
}

py::list check(ArrayMesh& mesh)
{
    py::list warnings;
    for (const MeshWarning& w : checkMesh(mesh.view())) {
        py::dict d;
        d["code"] = w.code;
        d["count"] = w.count;
        d["text"] = w.text;
        warnings.append(std::move(d));
    }
    return warnings;
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
(mm) where a hole of that diameter fits nowhere. Volumes are mm³
('volume' and 'trapped_volume' in single precision, as the analysis computes them), points mm.)");

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
