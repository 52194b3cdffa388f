// SPDX-License-Identifier: MIT
// The report benchmark's large part (scripts/report-benchmark.sh): a sphere of radius 30 mm with a sealed
// spherical void of radius 27 mm set 1.5 mm off centre, so the wall runs from 1.5 to 4.5 mm and the
// thickness map has a gradient; both UV spheres, about TRIANGLES triangles in all.
//
//   meshprobe_make_hollow_sphere TRIANGLES OUT.stl
#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>

#include "meshprobe/Export.h"
#include "tests/support/TestMeshes.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: meshprobe_make_hollow_sphere TRIANGLES OUT.stl\n";
        return 2;
    }
    try {
        // Each sphere has 2 * segments * (rings - 1) triangles, with segments = 2 * rings.
        const int rings = std::max(4, int(std::lround(std::sqrt(std::stod(argv[1]) / 8.0))));
        testmesh::Soup part = testmesh::sphere(30, 30, 30, 30, rings, 2 * rings);
        part.appendFlipped(testmesh::sphere(31.5f, 30, 30, 27, rings, 2 * rings));
        meshprobe::writeMeshes(argv[2], {{"hollow sphere", part.view()}});
        std::cout << argv[2] << ": " << part.indices.size() / 3 << " triangles\n";
    } catch (const std::exception& error) {
        std::cerr << "meshprobe_make_hollow_sphere: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
