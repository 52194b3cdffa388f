// SPDX-License-Identifier: MIT
// Writes the bundled example parts (binary STL, millimetres) into a folder: a bracket with a sealed cavity,
// an open pocket, a thin rib and mounting holes; a cup; a plate with thin and thick walls.
#include <cstdio>
#include <exception>
#include <string>

#include "examples/CellModel.h"
#include "meshprobe/Export.h"

namespace {

bool within(float v, float lo, float hi)
{
    return v > lo && v < hi;
}

/// An L-bracket: a 40 x 24 x 8 base and a 6 mm upright 36 high at x = 0. Inside the base a sealed
/// 12 x 8 x 4 void (trapped, "Closed"); on top a 6 x 4 x 4 pocket open upward (trapped, "Open"); two
/// 4 x 4 mounting holes through the base (they drain); a 1.2 mm rib between base and upright (thin).
void writeBracket(const std::string& folder)
{
    auto solid = [](float x, float y, float z) {
        const bool base = within(x, 0, 40) && within(y, 0, 24) && within(z, 0, 8);
        const bool upright = within(x, 0, 6) && within(y, 0, 24) && within(z, 0, 36);
        const bool rib = within(x, 6, 20) && within(y, 11.4f, 12.6f) && within(z, 8, 22);
        const bool sealedVoid = within(x, 14, 26) && within(y, 8, 16) && within(z, 2, 6);
        const bool pocket = within(x, 30, 36) && within(y, 10, 14) && within(z, 4, 8);
        const bool hole = within(x, 30, 34) && (within(y, 2, 6) || within(y, 18, 22)) && within(z, 0, 8);
        return (base || upright || rib) && !sealedVoid && !pocket && !hole;
    };
    const examples::CellModel model(examples::planesEvery(0, 40, 2), examples::planesEvery(0, 24, 2, {11.4f, 12.6f}),
                                    examples::planesEvery(0, 36, 2), solid);
    meshprobe::writeMeshes(folder + "/bracket.stl", {{"bracket", model.mesh()}});
}

/// A 30 x 30 x 25 cup with 3 mm walls and floor, open at the top: it traps its well when printed upright
/// (+z up) and drains when printed upside down (--up -z).
void writeCup(const std::string& folder)
{
    auto solid = [](float x, float y, float z) {
        const bool well = within(x, 3, 27) && within(y, 3, 27) && z > 3;
        return within(x, 0, 30) && within(y, 0, 30) && within(z, 0, 25) && !well;
    };
    const examples::CellModel model(examples::planesEvery(0, 30, 3), examples::planesEvery(0, 30, 3),
                                    examples::planesEvery(0, 25, 2.5f, {3}), solid);
    meshprobe::writeMeshes(folder + "/cup.stl", {{"cup", model.mesh()}});
}

/// A 30 x 20 x 4 plate carrying three walls 16 high: 0.8, 1.5 and 3 mm thick. `thickness --min 0 --max 1`
/// picks out the thinnest.
void writeThinWalls(const std::string& folder)
{
    auto solid = [](float x, float y, float z) {
        const bool plate = within(x, 0, 30) && within(y, 0, 20) && within(z, 0, 4);
        const bool walls =
            within(y, 2, 18) && within(z, 0, 20) && (within(x, 5, 5.8f) || within(x, 13, 14.5f) || within(x, 22, 25));
        return plate || walls;
    };
    const examples::CellModel model(examples::planesEvery(0, 30, 1, {5.8f, 14.5f}), examples::planesEvery(0, 20, 1),
                                    examples::planesEvery(0, 20, 1), solid);
    meshprobe::writeMeshes(folder + "/thin-walls.stl", {{"thin walls", model.mesh()}});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    try {
        writeBracket(argv[1]);
        writeCup(argv[1]);
        writeThinWalls(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
