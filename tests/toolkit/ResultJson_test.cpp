// SPDX-License-Identifier: MIT
// The toolkit's results as the tool's JSON text: keys present exactly when the options ask for them, values
// from the typed results, no -0.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "meshprobe/ResultJson.h"
#include "tests/support/TestMeshes.h"

namespace {

/// A 20 mm cube with a sealed box-shaped void [4, 16]³.
testmesh::Soup hollowCube()
{
    testmesh::Soup part = testmesh::box(0, 0, 0, 20, 20, 20);
    part.appendFlipped(testmesh::box(4, 4, 4, 16, 16, 16));
    return part;
}

TEST(ResultJson, CavityKeysFollowTheOptionsAndValuesTheResult)
{
    const testmesh::Soup part = hollowCube();
    struct Case {
        bool solids;
        double drain;
        const char* up;
    };
    for (const Case& c : {Case{true, 0.0, "+z"}, Case{false, 2.0, "-x"}, Case{true, 3.0, "0,0.6,-0.8"}}) {
        SCOPED_TRACE(c.up);
        meshprobe::CavityOptions options;
        options.resolution = 40;
        options.up = meshprobe::parseDirection(c.up);
        options.solids = c.solids;
        options.drainHoleDiameter = c.drain;
        const meshprobe::CavitiesResult result = meshprobe::findCavities(part.view(), options);
        const std::string text = meshprobe::toJson(result, options);
        for (const char* negativeZero : {"-0.0,", "-0.0]", "-0.0}"})
            EXPECT_EQ(text.find(negativeZero), std::string::npos) << text;
        const auto json = nlohmann::json::parse(text);
        ASSERT_EQ(result.cavities.size(), 1u);
        ASSERT_EQ(json["cavities"].size(), 1u);
        const auto& cavity = json["cavities"][0];
        EXPECT_EQ(json["up"], meshprobe::formatDirection(result.up));
        EXPECT_EQ(json["trapped_voxels"], result.trappedVoxels);
        EXPECT_EQ(cavity["voxels"], result.cavities[0].voxels);
        EXPECT_EQ(cavity["name"], "Closed");
        EXPECT_EQ(cavity.contains("triangles"), c.solids);
        if (c.solids) {
            EXPECT_EQ(cavity["triangles"], result.cavities[0].solid.triangleCount());
        }
        EXPECT_EQ(cavity.contains("drain"), c.drain > 0);
        EXPECT_EQ(cavity.contains("vent"), c.drain > 0); // a sealed cavity gets a vent too
        if (c.drain > 0 && result.cavities[0].drain) {
            EXPECT_EQ(cavity["drain"]["diameter"], c.drain);
        }
        // Single-precision volumes in their shortest form: the float they came from, read back exactly.
        EXPECT_EQ(static_cast<float>(json["trapped_volume"].get<double>()), result.trappedVolume);
    }
}

TEST(ResultJson, ThinnestWallIsTheWindowEndWhenNoneIsThinner)
{
    meshprobe::ThinAreasResult none;
    const auto empty = nlohmann::json::parse(meshprobe::toJson(none, 0.3));
    EXPECT_EQ(empty["thinnest"], nlohmann::json({{"found", false}, {"thickness", 0.3}}));
    EXPECT_EQ(empty["thin_areas"].size(), 0u);

    meshprobe::ThinAreasResult one;
    one.thinnest = {true, 0.1f, 7, 2};
    one.areas.push_back({});
    one.areas[0].id = 2;
    one.areas[0].minThickness = 0.1f;
    one.droppedAreas = 3;
    const auto found = nlohmann::json::parse(meshprobe::toJson(one, 2.0));
    EXPECT_EQ(found["thinnest"]["thickness"], 0.1); // 0.1f written as 0.1, not 0.10000000149
    EXPECT_EQ(found["thinnest"]["face"], 7);
    EXPECT_EQ(found["thin_areas"][0]["min_thickness"], 0.1);
    EXPECT_EQ(found["dropped_areas"], 3);
}

} // namespace
