// SPDX-License-Identifier: MIT
// Marking areas through MeshAnalyzer::getMarkingAreas, with each area's surface.
#include "meshprobe/MarkingAreas.h"

#include <cmath>
#include <functional>

#include "analysis/MeshAnalyzer.h"
#include "meshprobe/Error.h"
#include "toolkit/src/adapters/HostMeshBridge.h"
#include "toolkit/src/adapters/MarkingAreaMesh.h"

namespace meshprobe {

namespace {

double faceArea(const MeshView& mesh, std::size_t face)
{
    const float* p[3];
    for (int k = 0; k < 3; ++k)
        p[k] = mesh.vertices + 3 * std::size_t(mesh.triangles[3 * face + std::size_t(k)]);
    double e1[3], e2[3];
    for (int a = 0; a < 3; ++a) {
        e1[a] = double(p[1][a]) - p[0][a];
        e2[a] = double(p[2][a]) - p[0][a];
    }
    const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    return 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
}

} // namespace

namespace detail {

/// The marking areas of the selected faces on a host mesh whose topology is built; clears the selection.
MarkingAreasResult markingAreasOn(UMesh<float>& mesh, const MeshView& view,
                                  const std::vector<std::uint32_t>& selectedFaces, const std::string& label);

struct MarkingAreaMesh::HostMesh {
    std::unique_ptr<UMesh<float>> mesh;
};

MarkingAreaMesh::MarkingAreaMesh(const MeshView& mesh) : view(mesh), host(std::make_unique<HostMesh>())
{
    host->mesh = toHostMesh(view);
}

UMesh<float>& MarkingAreaMesh::hostMesh()
{
    return *host->mesh;
}

MarkingAreaMesh::~MarkingAreaMesh() = default;

MarkingAreasResult MarkingAreaMesh::select(const std::vector<std::uint32_t>& selectedFaces, const std::string& label,
                                           int threads)
{
    if (!host->mesh->HasTopo()) host->mesh->BuildTopo(std::function<void(int)>(), false, threads);
    return markingAreasOn(*host->mesh, view, selectedFaces, label);
}

MarkingAreasResult markingAreasOn(UMesh<float>& mesh, const MeshView& view,
                                  const std::vector<std::uint32_t>& selectedFaces, const std::string& label)
{
    MarkingAreasResult result;
    for (std::uint32_t f : selectedFaces)
        if (f >= view.triangleCount)
            throw InputError("face " + std::to_string(f) + " does not exist (the mesh has " +
                             std::to_string(view.triangleCount) + " triangles, numbered from 0)");
    for (std::uint32_t f : selectedFaces) {
        UTriangle<float>& face = *mesh.faces[f];
        if (!face.IsS()) ++result.selectedFaces;
        face.SetS();
    }

    Analysis::MarkingArea found;
    Analysis::MeshAnalyzer().getMarkingAreas(&mesh, label, found);
    for (std::uint32_t f : selectedFaces)
        mesh.faces[f]->ClearS();
    result.areas.reserve(found.regions.size());
    for (Analysis::MarkingRegion& region : found.regions) {
        MarkingArea area;
        area.id = region.id;
        area.name = std::move(region.name);
        area.faces.assign(region.faceIndices.begin(), region.faceIndices.end());
        area.loops.reserve(region.boundaryLoops.size());
        for (const std::vector<unsigned>& loop : region.boundaryLoops)
            area.loops.emplace_back(loop.begin(), loop.end());
        for (std::uint32_t f : area.faces)
            area.area += faceArea(view, f);
        result.areas.push_back(std::move(area));
    }
    return result;
}

} // namespace detail

MarkingAreasResult markingAreas(const MeshView& view, const std::vector<std::uint32_t>& selectedFaces,
                                const std::string& label)
{
    const std::unique_ptr<UMesh<float>> mesh = detail::toHostMesh(view);
    return detail::markingAreasOn(*mesh, view, selectedFaces, label);
}

} // namespace meshprobe
