// SPDX-License-Identifier: MIT
// Test and benchmark inputs for the report: the large generated part, and reports that carry drain-hole
// suggestions (which the tool does not make yet) to exercise the page's markers.
//
//   meshprobe_make_report_fixture --hollow-sphere TRIANGLES OUT.stl
//   meshprobe_make_report_fixture MESH -o OUT.html [--json OUT.json] [--up AXIS] [-r N] [--min A --max B]
//
// --hollow-sphere writes a sphere of radius 30 mm with a sealed spherical void of radius 27 mm set 1.5 mm off
// centre (so the wall runs from 1.5 to 4.5 mm), both UV spheres, with about TRIANGLES triangles in all: the
// benchmark's large part. The second form writes the report `meshprobe report` writes, plus one drain hole
// per cavity: straight down against the build direction from the middle of the cavity's floor to the
// part's bottom. --json writes the JSON summary the page embeds.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ProgressBar.h"
#include "cli/ReportContent.h"
#include "meshprobe/Import.h"

namespace {

void appendSphere(std::vector<float>& triangles, double centreX, double radius, int stacks, bool inward)
{
    const int slices = 2 * stacks;
    auto at = [&](int i, int j) {
        const double theta = M_PI * i / stacks, phi = 2 * M_PI * j / slices;
        return std::array<float, 3>{float(centreX + radius * std::sin(theta) * std::cos(phi)),
                                    float(30 + radius * std::sin(theta) * std::sin(phi)),
                                    float(30 + radius * std::cos(theta))};
    };
    auto add = [&](std::array<float, 3> a, std::array<float, 3> b, std::array<float, 3> c) {
        if (inward) std::swap(b, c);
        for (const auto& p : {a, b, c})
            triangles.insert(triangles.end(), p.begin(), p.end());
    };
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            // Outward winding: counter-clockwise seen from outside; the poles get one triangle per slice.
            if (i > 0) add(at(i, j), at(i + 1, j), at(i, j + 1));
            if (i + 1 < stacks) add(at(i, j + 1), at(i + 1, j), at(i + 1, j + 1));
        }
}

void writeHollowSphere(long triangleCount, const std::string& path)
{
    // Two spheres of 2 * stacks * (2 * stacks - 1) triangles each.
    const int stacks = std::max(4, int(std::lround(std::sqrt(triangleCount / 8.0))));
    std::vector<float> triangles;
    appendSphere(triangles, 30.0, 30.0, stacks, false);
    appendSphere(triangles, 31.5, 27.0, stacks, true);
    std::ofstream out(path, std::ios::binary);
    char header[80] = "meshprobe benchmark: hollow sphere";
    out.write(header, 80);
    const std::uint32_t count = static_cast<std::uint32_t>(triangles.size() / 9);
    out.write(reinterpret_cast<const char*>(&count), 4);
    for (std::uint32_t t = 0; t < count; ++t) {
        const float normal[3] = {0, 0, 0};
        const std::uint16_t attributes = 0;
        out.write(reinterpret_cast<const char*>(normal), 12);
        out.write(reinterpret_cast<const char*>(&triangles[9 * t]), 36);
        out.write(reinterpret_cast<const char*>(&attributes), 2);
    }
    if (!out.flush()) throw std::runtime_error("cannot write '" + path + "'");
    std::cout << path << ": " << count << " triangles\n";
}

/// One hole per cavity, from the middle of its floor straight down (against up) to the part's lowest plane.
void addDrainHoles(meshprobe::report::ReportData& data)
{
    int axis = 0;
    while (data.up[axis] == 0.0f)
        ++axis;
    const float sign = data.up[axis];
    float bottom = HUGE_VALF; // the part's lowest coordinate along up, times sign
    for (std::size_t v = axis; v < data.part.vertices.size(); v += 3)
        bottom = std::min(bottom, sign * data.part.vertices[v]);
    data.drainHoles.emplace();
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (std::size_t c = 0; c < data.cavities->size(); ++c) {
        const auto& info = (*data.cavities)[c].info;
        meshprobe::report::ReportDrainHole hole;
        for (int k = 0; k < 3; ++k) {
            const float low = info["bounds"][0][k].get<float>(), high = info["bounds"][1][k].get<float>();
            hole.entry[k] = k == axis ? (sign > 0 ? low : high) : (low + high) / 2;
        }
        hole.exit = hole.entry;
        hole.exit[axis] = sign * bottom;
        hole.diameter = 2.0f;
        hole.info = {{"cavity", info["name"].get<std::string>() + "-" + std::to_string(c + 1)},
                     {"kind", "drain"},
                     {"diameter", 2.0},
                     {"length", std::abs(double(hole.entry[axis]) - hole.exit[axis])}};
        list.push_back(hole.info);
        data.drainHoles->push_back(std::move(hole));
    }
    data.summary["drain_holes"] = std::move(list);
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "--hollow-sphere") {
            writeHollowSphere(std::stol(args[1]), args[2]);
            return 0;
        }
        cli::CommonOptions common;
        cli::ReportSettings settings;
        settings.threads = 1;
        settings.resolution = 128;
        std::string output, jsonPath;
        for (std::size_t a = 0; a < args.size(); ++a) {
            auto value = [&]() -> const std::string& {
                if (a + 1 >= args.size()) throw std::invalid_argument(args[a] + " needs a value");
                return args[++a];
            };
            if (args[a] == "-o")
                output = value();
            else if (args[a] == "--json")
                jsonPath = value();
            else if (args[a] == "--up")
                settings.up = value();
            else if (args[a] == "-r")
                settings.resolution = std::stoi(value());
            else if (args[a] == "--min")
                settings.min = std::stof(value());
            else if (args[a] == "--max")
                settings.max = std::stof(value());
            else if (!args[a].empty() && args[a][0] != '-' && common.meshPath.empty())
                common.meshPath = args[a];
            else
                throw std::invalid_argument("unknown argument '" + args[a] + "'");
        }
        if (common.meshPath.empty() || output.empty())
            throw std::invalid_argument("usage: meshprobe_make_report_fixture MESH -o OUT.html [options]");
        cli::ProgressBar silent(false);
        meshprobe::report::ReportData data =
            cli::gatherReport(meshprobe::loadMesh(common.meshPath), common, settings, silent);
        addDrainHoles(data);
        meshprobe::report::writeReport(output, data);
        if (!jsonPath.empty()) {
            std::ofstream json(jsonPath);
            json << data.summary.dump() << '\n';
            if (!json.flush()) throw std::runtime_error("cannot write '" + jsonPath + "'");
        }
    } catch (const std::exception& error) {
        std::cerr << "meshprobe_make_report_fixture: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
