// SPDX-License-Identifier: MIT
// The fixture's analyses, on the same library calls the tool's subcommands make. The tool's own report
// command will take these figures from the toolkit; the JSON keys here are the ones the page reads.
#include "report/FixtureAnalyses.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "analysis/MeshAnalyzer.h"
#include "cli/BuildDirection.h"
#include "cli/MeshImport.h"
#include "cli/MeshStatistics.h"
#include "cli/StdoutCapture.h"
#include "cli/TextReport.h"
#include "cli/ThicknessRun.h"
#include "trapvolume/VoxelizerTrapVolume.h"

namespace meshprobe::report {

namespace {

using Json = nlohmann::ordered_json;
using Voxel = std::tuple<long, long, long>;

/// The library's gradient (the colour mode's hue ramp), reachable through a subclass.
class GradientColours : public Analysis::MeshAnalyzer {
public:
    std::array<std::uint8_t, 3> at(float weight)
    {
        float rgb[3];
        weight_to_gradientRgb(rgb, weight);
        // The colour mode rounds each channel to the nearest byte.
        return {static_cast<std::uint8_t>(std::lround(rgb[0] * 255.0f)),
                static_cast<std::uint8_t>(std::lround(rgb[1] * 255.0f)),
                static_cast<std::uint8_t>(std::lround(rgb[2] * 255.0f))};
    }
};

/// One stop per whole hue degree of the ramp (0 to 150), at the thickness where that hue begins.
ThicknessLegend legendFor(float min, float max)
{
    GradientColours colours;
    ThicknessLegend legend;
    const float range = max > min ? 1.0f / (max - min) : 0.0f;
    for (int hue = 0; hue <= 150; ++hue) {
        const double t = min + (double(max) - min) * hue / 150.0;
        legend.stops.push_back({t, colours.at(float((float(t) - min) * range))});
    }
    legend.noWallRgb = {0, 255, 128}; // the colour mode's value for faces that reached max
    return legend;
}

ReportMesh plainMesh(const UMesh<float>& mesh)
{
    ReportMesh plain;
    plain.vertices.resize(mesh.vertices.size() * 3);
    for (const UVertex<float>* v : mesh.vertices)
        for (int k = 0; k < 3; ++k)
            plain.vertices[3 * v->ID() + k] = v->P()[k];
    for (const UTriangle<float>* f : mesh.faces)
        for (int k = 0; k < 3; ++k)
            plain.triangles.push_back(f->V(k)->ID());
    return plain;
}

Json point(double x, double y, double z)
{
    return Json::array({x, y, z});
}

/// Area, area-weighted centroid and bounds of a set of faces.
Json faceSetPlace(const UMesh<float>& mesh, const std::vector<int>& faces, double& area)
{
    double cx = 0, cy = 0, cz = 0;
    area = 0;
    UBox3<float> box;
    for (int f : faces) {
        const UTriangle<float>& face = *mesh.faces[static_cast<size_t>(f)];
        double e1[3], e2[3];
        for (int k = 0; k < 3; ++k) {
            e1[k] = double(face.P(1)[k]) - face.P(0)[k];
            e2[k] = double(face.P(2)[k]) - face.P(0)[k];
        }
        const double nx = double(e1[1]) * e2[2] - double(e1[2]) * e2[1];
        const double ny = double(e1[2]) * e2[0] - double(e1[0]) * e2[2];
        const double nz = double(e1[0]) * e2[1] - double(e1[1]) * e2[0];
        const double a = 0.5 * std::sqrt(nx * nx + ny * ny + nz * nz);
        area += a;
        for (int k = 0; k < 3; ++k) {
            cx += a * face.P(k)[0] / 3;
            cy += a * face.P(k)[1] / 3;
            cz += a * face.P(k)[2] / 3;
            box.Add(face.P(k));
        }
    }
    const double w = area > 0 ? 1.0 / area : 0.0;
    return {{"centroid", point(cx * w, cy * w, cz * w)},
            {"bounds", {point(box.MinX(), box.MinY(), box.MinZ()), point(box.MaxX(), box.MaxY(), box.MaxZ())}}};
}

void addThickness(UMesh<float>& mesh, const FixtureOptions& options, ReportData& data)
{
    const float min = static_cast<float>(options.min), max = static_cast<float>(options.max);
    std::string message;
    const std::vector<float> thickness = cli::measureAndSelect(mesh, min, max, options.samples, nullptr, &message);

    // Thin areas: the selected faces grouped by the marking-area operation, before the colour pass.
    Analysis::MeshAnalyzer analyzer;
    Analysis::MarkingArea marking;
    analyzer.getMarkingAreas(&mesh, "thin", marking);
    data.thinAreas.emplace();
    Json thinJson = Json::array();
    for (const Analysis::MarkingRegion& region : marking.regions) {
        ReportThinArea area;
        std::vector<float> values;
        for (int f : region.faceIndices) {
            area.faces.push_back(static_cast<std::uint32_t>(f));
            values.push_back(thickness[static_cast<size_t>(f)]);
        }
        for (const auto& loop : region.boundaryLoops)
            area.loops.emplace_back(loop.begin(), loop.end());
        std::sort(values.begin(), values.end());
        double surface = 0;
        area.info = {{"id", region.id}, {"faces", region.faceIndices.size()}};
        const Json place = faceSetPlace(mesh, region.faceIndices, surface);
        area.info["area"] = surface;
        area.info["min_thickness"] = cli::shortestDouble(values.front());
        area.info["median_thickness"] = cli::shortestDouble(values[values.size() / 2]);
        area.info.update(place);
        thinJson.push_back(area.info);
        data.thinAreas->push_back(std::move(area));
    }

    const auto colours = cli::measureColours(mesh, min, max, options.samples, nullptr);
    data.faceColours.reserve(colours.size() * 3);
    for (const auto& rgba : colours)
        data.faceColours.insert(data.faceColours.end(), rgba.begin(), rgba.begin() + 3);
    data.legend = legendFor(min, max);

    // The histogram as `meshprobe thickness` bins it.
    constexpr int windowBins = 10;
    auto edge = [min, max](int b) { return (double(min) * (windowBins - b) + double(max) * b) / windowBins; };
    Json histogram = Json::array({{{"from", 0.0}, {"to", double(min)}, {"faces", 0}}});
    for (int b = 0; b < windowBins && max > min; ++b)
        histogram.push_back({{"from", edge(b)}, {"to", edge(b + 1)}, {"faces", 0}});
    size_t selected = 0, atMax = 0;
    for (float t : thickness) {
        if (t >= max) {
            ++atMax;
            continue;
        }
        if (t <= min) {
            histogram[0]["faces"] = histogram[0]["faces"].get<size_t>() + 1;
            continue;
        }
        ++selected;
        int b = windowBins - 1;
        while (b > 0 && t < edge(b))
            --b;
        histogram[1 + b]["faces"] = histogram[1 + b]["faces"].get<size_t>() + 1;
    }
    const auto thinnest = std::min_element(thickness.begin(), thickness.end());
    Json summary = {{"min", cli::shortestDouble(min)},
                    {"max", cli::shortestDouble(max)},
                    {"samples", options.samples},
                    {"status", 1},
                    {"message", message},
                    {"selected_faces", selected},
                    {"faces_at_max", atMax},
                    {"histogram", histogram}};
    if (thinnest != thickness.end() && *thinnest < max)
        summary["thinnest"] = {{"thickness", cli::shortestDouble(*thinnest)}, {"face", thinnest - thickness.begin()}};
    data.summary["thickness"] = std::move(summary);
    data.summary["thin_areas"] = std::move(thinJson);
}

/// A cavity's closed surface from its column triangles (each spans one voxel in x and a vertical run of
/// voxels from corner 0 up to corner 2, in the placed frame): the voxel faces that border no other voxel
/// of the cavity, wound outward. The toolkit's solid cavities will replace this.
ReportMesh voxelSurface(const UMesh<float>& columns, double edge, std::set<Voxel>& voxels, UPoint3<float>& centroid)
{
    double ox = 1e300, oy = 1e300, oz = 1e300;
    for (const UTriangle<float>* c : columns.faces) {
        ox = std::min(ox, double(c->P(0)[0]));
        oy = std::min(oy, double(c->P(0)[1]));
        oz = std::min(oz, double(c->P(0)[2]));
    }
    for (const UTriangle<float>* c : columns.faces) {
        const long i = std::lround((c->P(0)[0] - ox) / edge), j = std::lround((c->P(0)[1] - oy) / edge);
        const long k0 = std::lround((c->P(0)[2] - oz) / edge), k1 = std::lround((c->P(2)[2] - oz) / edge);
        for (long k = k0; k < k1; ++k)
            voxels.insert({i, j, k});
    }
    double sum[3] = {0, 0, 0};
    for (const auto& [i, j, k] : voxels) {
        sum[0] += i + 0.5;
        sum[1] += j + 0.5;
        sum[2] += k + 0.5;
    }
    const double n = voxels.empty() ? 1.0 : double(voxels.size());
    centroid =
        UPoint3<float>(float(ox + sum[0] / n * edge), float(oy + sum[1] / n * edge), float(oz + sum[2] / n * edge));
    ReportMesh surface;
    std::map<Voxel, std::uint32_t> corners;
    auto corner = [&](long i, long j, long k) {
        const auto [it, added] = corners.try_emplace({i, j, k}, static_cast<std::uint32_t>(corners.size()));
        if (added)
            for (double c : {ox + i * edge, oy + j * edge, oz + k * edge})
                surface.vertices.push_back(static_cast<float>(c));
        return it->second;
    };
    // For each axis: the four corners of the voxel face on the + side, counter-clockwise seen from outside.
    static const int quads[3][4][3] = {{{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},
                                       {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},
                                       {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
    for (const auto& [i, j, k] : voxels)
        for (int axis = 0; axis < 3; ++axis)
            for (int side : {1, -1}) {
                const long d[3] = {axis == 0 ? side : 0, axis == 1 ? side : 0, axis == 2 ? side : 0};
                if (voxels.count({i + d[0], j + d[1], k + d[2]})) continue;
                std::uint32_t q[4];
                for (int c = 0; c < 4; ++c) {
                    int p[3] = {quads[axis][c][0], quads[axis][c][1], quads[axis][c][2]};
                    if (side < 0) p[axis] = 0; // the − face: same square on the lower side, order reversed below
                    q[c] = corner(i + p[0], j + p[1], k + p[2]);
                }
                if (side < 0) std::swap(q[1], q[3]);
                surface.triangles.insert(surface.triangles.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
            }
    return surface;
}

void addCavities(const std::shared_ptr<UMesh<float>>& mesh, const FixtureOptions& options, ReportData& data)
{
    const UMatrix4<float> placement = cli::placementForUp(options.up);
    UBox3<float> box;
    for (const UVertex<float>* v : mesh->vertices)
        box.Add(v->P() * placement);
    const double longest =
        std::max({double(box.MaxX()) - box.MinX(), double(box.MaxY()) - box.MinY(), double(box.MaxZ()) - box.MinZ()});
    const double edge = (longest + 0.002) / options.resolution;

    MeshKernel kernel(mesh, placement);
    cli::StdoutCapture capture;
    VoxelizerTrapVolume voxelizer(options.resolution, &kernel);
    if (!capture.take().empty()) throw std::runtime_error("cannot set up the voxel grid");
    omp_set_num_threads(options.threads);
    voxelizer.voxelize(options.threads, nullptr);
    std::vector<float> volumes;
    std::vector<std::unique_ptr<UMesh<float>>> columns;
    for (UMesh<float>* m : voxelizer.trappedVolume2Mesh(volumes, nullptr))
        columns.emplace_back(m);

    const UMatrix4<float> back = cli::inversePlacementForUp(options.up);
    data.cavities.emplace();
    Json list = Json::array();
    float trappedVolume = 0.0f;
    long long trappedVoxels = 0;
    for (size_t c = 0; c < columns.size(); ++c) {
        std::set<Voxel> voxels;
        UPoint3<float> centroid;
        ReportCavity cavity{voxelSurface(*columns[c], edge, voxels, centroid), {}};
        centroid = centroid * back;
        // Back to the model's frame; the rotation keeps the winding.
        for (size_t v = 0; v < cavity.mesh.vertices.size(); v += 3) {
            const UPoint3<float> p =
                UPoint3<float>(cavity.mesh.vertices[v], cavity.mesh.vertices[v + 1], cavity.mesh.vertices[v + 2]) *
                back;
            for (int k = 0; k < 3; ++k)
                cavity.mesh.vertices[v + k] = p[k];
        }
        UBox3<float> bounds;
        for (size_t v = 0; v < cavity.mesh.vertices.size(); v += 3)
            bounds.Add(
                UPoint3<float>(cavity.mesh.vertices[v], cavity.mesh.vertices[v + 1], cavity.mesh.vertices[v + 2]));
        cavity.info = {
            {"name", columns[c]->GetName()},
            {"volume", cli::shortestDouble(volumes[c])},
            {"voxels", voxels.size()},
            {"triangles", columns[c]->faces.size()},
            {"centroid", point(centroid[0], centroid[1], centroid[2])},
            {"bounds",
             {point(bounds.MinX(), bounds.MinY(), bounds.MinZ()), point(bounds.MaxX(), bounds.MaxY(), bounds.MaxZ())}}};
        trappedVolume += volumes[c];
        trappedVoxels += static_cast<long long>(voxels.size());
        list.push_back(cavity.info);
        data.cavities->push_back(std::move(cavity));
    }
    data.summary["trapped"] = {{"resolution", options.resolution},
                               {"voxel_size", edge},
                               {"up", options.up},
                               {"trapped_voxels", trappedVoxels},
                               {"trapped_volume", cli::shortestDouble(trappedVolume)},
                               {"cavities", list}};
}

/// One hole per cavity, straight down along -up from the bottom centre of its box out of the part's box.
void addDrainHoles(const ReportData& partData, ReportData& data)
{
    data.drainHoles.emplace();
    Json list = Json::array();
    float lowest = 1e30f;
    const UMatrix4<float> placement = cli::placementForUp(data.summary["trapped"]["up"].get<std::string>());
    for (size_t v = 0; v < partData.part.vertices.size(); v += 3)
        lowest = std::min(lowest, (UPoint3<float>(partData.part.vertices[v], partData.part.vertices[v + 1],
                                                  partData.part.vertices[v + 2]) *
                                   placement)[2]);
    for (size_t c = 0; c < data.cavities->size(); ++c) {
        const Json& info = (*data.cavities)[c].info;
        const Json& centroid = info["centroid"];
        UPoint3<float> entry(centroid[0].get<float>(), centroid[1].get<float>(), centroid[2].get<float>());
        UPoint3<float> placed = entry * placement;
        // The lowest point of the cavity along up: its box's lower face in the placed frame.
        float bottom = 1e30f;
        const ReportMesh& m = (*data.cavities)[c].mesh;
        for (size_t v = 0; v < m.vertices.size(); v += 3)
            bottom =
                std::min(bottom, (UPoint3<float>(m.vertices[v], m.vertices[v + 1], m.vertices[v + 2]) * placement)[2]);
        placed[2] = bottom;
        UPoint3<float> out = placed;
        out[2] = lowest;
        const UMatrix4<float> back = cli::inversePlacementForUp(data.summary["trapped"]["up"].get<std::string>());
        ReportDrainHole hole;
        const UPoint3<float> a = placed * back, b = out * back;
        hole.entry = {a[0], a[1], a[2]};
        hole.exit = {b[0], b[1], b[2]};
        hole.diameter = 2.0f;
        hole.info = {{"cavity", info["name"].get<std::string>() + "-" + std::to_string(c + 1)},
                     {"kind", "drain"},
                     {"length", double(bottom) - lowest},
                     {"entry", point(a[0], a[1], a[2])},
                     {"exit", point(b[0], b[1], b[2])},
                     {"diameter", 2.0}};
        list.push_back(hole.info);
        data.drainHoles->push_back(std::move(hole));
    }
    data.summary["drain_holes"] = std::move(list);
}

} // namespace

ReportData analysePart(const FixtureOptions& options)
{
    const std::shared_ptr<UMesh<float>> mesh = cli::importMesh(options.meshPath);
    ReportData data;
    data.title = options.meshPath.substr(options.meshPath.find_last_of('/') + 1);
    data.part = plainMesh(*mesh);
    const UMatrix4<float> back = cli::inversePlacementForUp(options.up);
    const UPoint3<float> up = UPoint3<float>(0, 0, 1) * back;
    data.up = {up[0], up[1], up[2]};

    const cli::MeshStatistics stats = cli::measureMesh(*mesh);
    data.summary = {{"command", "report"},
                    {"mesh", options.meshPath},
                    {"triangles", mesh->faces.size()},
                    {"vertices", mesh->vertices.size()}};
    data.summary["info"] = {{"bounds", {stats.boundsMin, stats.boundsMax}},
                            {"watertight", stats.watertight},
                            {"nonmanifold_edges", stats.nonManifoldEdges},
                            {"bad_edges", stats.badEdges},
                            {"border_edges", stats.borderEdges},
                            {"volume", stats.volume},
                            {"area", stats.area}};
    data.summary["warnings"] = Json::array();
    if (!stats.watertight)
        data.summary["warnings"].push_back({{"code", "open-mesh"},
                                            {"count", stats.borderEdges + stats.nonManifoldEdges},
                                            {"text", "the mesh has open or non-manifold edges"}});
    if (options.thickness) addThickness(*mesh, options, data);
    if (options.trapped) addCavities(mesh, options, data);
    if (options.trapped && options.drainHoles) addDrainHoles(data, data);
    return data;
}

} // namespace meshprobe::report
