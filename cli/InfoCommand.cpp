// SPDX-License-Identifier: MIT
// `meshprobe info`: size, edge defects, area and volume of a mesh.
#include <iostream>

#include "cli/Commands.h"
#include "cli/InputMesh.h"
#include "cli/Interrupt.h"
#include "cli/JsonHead.h"
#include "cli/Stopwatch.h"
#include "cli/TextReport.h"
#include "meshprobe/Import.h"
#include "meshprobe/Inspect.h"
#include "toolkit/json/ResultJson.h"

namespace cli {

namespace {

std::string textTriple(const std::array<float, 3>& v)
{
    return formatNumber(v[0]) + ", " + formatNumber(v[1]) + ", " + formatNumber(v[2]);
}

int runInfo(const CommonOptions& options)
{
    const Stopwatch clock;
    const meshprobe::Mesh mesh = loadInputMesh(options);
    const meshprobe::MeshInfo stats = meshprobe::inspect(mesh);

    if (options.json) {
        nlohmann::ordered_json report = jsonHead("info", options, mesh);
        report.update(meshprobe::json::infoJson(stats));
        report["seconds"] = clock.seconds();
        printJson(report);
        return 0;
    }
    std::array<float, 3> size{};
    for (int a = 0; a < 3; ++a)
        size[a] = stats.boundsMax[a] - stats.boundsMin[a];
    Summary summary;
    summary.add("mesh", options.meshPath)
        .add("triangles", std::to_string(mesh.triangleCount()))
        .add("vertices", std::to_string(mesh.vertexCount()))
        .add("units", unitLine(options))
        .add("bounds", "(" + textTriple(stats.boundsMin) + ") to (" + textTriple(stats.boundsMax) + ")")
        .add("size", formatNumber(size[0]) + " x " + formatNumber(size[1]) + " x " + formatNumber(size[2]) + " mm")
        .add("watertight", stats.watertight ? "yes" : "no")
        .add("border edges", std::to_string(stats.borderEdges))
        .add("non-manifold edges", std::to_string(stats.nonManifoldEdges))
        .add("bad edges",
             std::to_string(stats.badEdges) + (stats.badEdges ? "  (neighbouring faces wound opposite ways)" : ""))
        .add("area", formatArea(stats.area))
        .add("volume", formatVolume(stats.volume) + (stats.watertight ? "" : "  (not closed: only an estimate)"));
    if (stats.insideOut)
        summary.add("inside out", "yes: the volume is negative, the faces are wound clockwise seen from outside "
                                  "(--fix-winding repairs it)");
    summary.print(std::cout);
    return 0;
}

} // namespace

Command addInfoCommand(CLI::App& app)
{
    auto options = std::make_shared<CommonOptions>();
    CLI::App* command = app.add_subcommand("info", "Size, edge defects, surface area and volume of a mesh");
    addCommonOptions(*command, *options);
    return {command, [options] { return runInfo(*options); }};
}

} // namespace cli
