// SPDX-License-Identifier: MIT
// Writes report pages of mesh files with real analyses, for the browser tests, the README's screenshot
// and the size and time-to-interactive benchmark, until `meshprobe report` writes them itself.
//
//   meshprobe_make_report_fixture MESH -o OUT.html [--json OUT.json] [--up AXIS] [-r N] [--min A --max B]
//                                 [--samples S] [-j T] [--no-thickness] [--no-trapped] [--drain-holes]
//   meshprobe_make_report_fixture --hollow-sphere TRIANGLES OUT.stl
//
// --json writes the JSON summary the page embeds, for comparison with what the page holds.
// --hollow-sphere writes a sphere of radius 30 mm with a sealed spherical void of radius 27 mm set 1.5 mm off
// centre (so the wall runs from 1.5 to 4.5 mm), both UV spheres, with about TRIANGLES triangles in all: the
// benchmark's large part.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "report/FixtureAnalyses.h"

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

} // namespace

int main(int argc, char** argv)
{
    using namespace meshprobe::report;
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "--hollow-sphere") {
            writeHollowSphere(std::stol(args[1]), args[2]);
            return 0;
        }
        FixtureOptions options;
        std::string output, jsonPath;
        for (size_t a = 0; a < args.size(); ++a) {
            auto value = [&]() -> const std::string& {
                if (a + 1 >= args.size()) throw std::invalid_argument(args[a] + " needs a value");
                return args[++a];
            };
            if (args[a] == "-o")
                output = value();
            else if (args[a] == "--json")
                jsonPath = value();
            else if (args[a] == "--up")
                options.up = value();
            else if (args[a] == "-r")
                options.resolution = std::stoi(value());
            else if (args[a] == "-j")
                options.threads = std::stoi(value());
            else if (args[a] == "--min")
                options.min = std::stod(value());
            else if (args[a] == "--max")
                options.max = std::stod(value());
            else if (args[a] == "--samples")
                options.samples = std::stoi(value());
            else if (args[a] == "--no-thickness")
                options.thickness = false;
            else if (args[a] == "--no-trapped")
                options.trapped = false;
            else if (args[a] == "--drain-holes")
                options.drainHoles = true;
            else if (!args[a].empty() && args[a][0] != '-' && options.meshPath.empty())
                options.meshPath = args[a];
            else
                throw std::invalid_argument("unknown argument '" + args[a] + "'");
        }
        if (options.meshPath.empty() || output.empty())
            throw std::invalid_argument("usage: meshprobe_make_report_fixture MESH -o OUT.html [options]");
        const ReportData data = analysePart(options);
        writeReport(output, data);
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
