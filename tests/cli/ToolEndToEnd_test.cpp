// SPDX-License-Identifier: MIT
// End to end on the example parts and on files written here: every command's JSON has the fields its schema
// in schemas/ requires, check and orient agree, units (--units and a 3MF file's own), standard input, huge
// coordinates, option order, and every option at the edges of its range. json::parse refuses NaN and
// Infinity, which are no JSON.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"

namespace {

using clitest::runTool;
using clitest::TempDir;
using clitest::ToolResult;
using nlohmann::json;
using Args = std::vector<std::string>;

std::string example(const std::string& name)
{
    return MESHPROBE_SOURCE_DIR "/examples/" + name;
}

/// Every key the schema requires at the top level is there, with a type the schema allows for it. (Nested
/// objects are checked by the tests of each command: no schema validator is at hand in C++.)
void expectSchemaFields(const json& report, const std::string& schema)
{
    const json rules = json::parse(std::ifstream(MESHPROBE_SOURCE_DIR "/schemas/" + schema + ".json"));
    for (const std::string key : rules["required"]) {
        ASSERT_TRUE(report.contains(key)) << schema << ": no " << key;
        const json type = rules.at("properties").value(key, json::object()).value("type", json());
        bool allowed = type.is_null();
        for (const json& t : type.is_array() ? type : json::array({type}))
            allowed = allowed || t == report[key].type_name() || (t == "integer" && report[key].is_number_integer());
        EXPECT_TRUE(allowed) << schema << ": " << key << " is " << report[key] << ", not " << type;
    }
}

/// The words of a command line ('' an empty one) with "{ex}name" as the example part, "{tmp}/name" in `dir`.
Args words(const std::string& line, const TempDir& dir)
{
    Args out;
    std::istringstream split(line);
    for (std::string a; split >> a;)
        out.push_back(a == "''"                  ? ""
                      : a.rfind("{ex}", 0) == 0  ? example(a.substr(4))
                      : a.rfind("{tmp}", 0) == 0 ? dir.path + a.substr(5)
                                                 : a);
    return out;
}

class ToolJson : public ::testing::TestWithParam<const char*> {};

// A failing verdict exits with 3, everything else with 0; every file the report names is written.
TEST_P(ToolJson, HasItsSchemasFields)
{
    TempDir dir;
    Args args = words(GetParam(), dir);
    args.push_back("--json");
    const ToolResult run = runTool(args);
    const json report = json::parse(run.out);
    expectSchemaFields(report, args[0]);
    EXPECT_EQ(run.exitCode, report.value("verdict", "") == "fail" ? 3 : 0) << run.err;
    // The bracket's sealed cavity gives every process something to say.
    if (args[0] == "check" && args[1] == example("bracket.stl")) {
        EXPECT_FALSE(report["findings"].empty());
    }
    const json files = report.value("files", json::object());
    for (const auto& [what, path] : files.items()) {
        std::ifstream file(path.get<std::string>(), std::ios::ate);
        EXPECT_GT(static_cast<long>(file.tellg()), 0) << what;
    }
    if (args[0] == "check") expectSchemaFields(report["profile"], "profile.schema");
}

INSTANTIATE_TEST_SUITE_P(Command, ToolJson,
                         ::testing::Values("info {ex}cup.stl", "trapped {ex}bracket.stl -r 48 --cavities {tmp}/c.glb",
                                           "thickness {ex}thin-walls.stl --min 0.5 --max 1 --samples 1 --per-face",
                                           "thickness {ex}bracket.stl --min 0 --max 2 --color {tmp}/t.3mf",
                                           "areas {ex}bracket.stl --faces 0-3",
                                           "check {ex}cup.stl --printer powder -r 32",
                                           "check {ex}bracket.stl --printer fdm -r 48",
                                           "check {ex}bracket.stl --printer bottom-up-resin -r 48",
                                           "check {ex}bracket.stl --printer top-down-resin -r 48",
                                           "orient {ex}bracket.stl -r 16 --directions 6",
                                           "orient {ex}cup.stl -r 16 --printer bottom-up-resin --refine"));

// check --up with a direction orient measured reports the sealed cavities and suction cups of orient's row
// for it, in count and volume, and its support area and islands; the cup turned over (-z) forms a suction cup.
TEST(CheckAndOrient, AgreeOnEveryMeasuredDirection)
{
    for (const auto& [mesh, printer] :
         {std::pair{"cup.stl", "bottom-up-resin"}, std::pair{"bracket.stl", "bottom-up-resin"},
          std::pair{"bracket.stl", "powder"}}) {
        const json orient =
            json::parse(runTool({"orient", example(mesh), "--printer", printer, "-r", "48", "--json"}).out);
        std::map<std::string, json> rows;
        for (const json& row : orient["directions"])
            rows[row["up"]] = row;
        if (mesh == std::string("cup.stl")) {
            EXPECT_TRUE(rows["-z"]["suction_cups"] == 1 && orient["directions"][0]["suction_cups"] == 0) << orient;
        }
        for (const std::string& up : {orient["best_up"].get<std::string>(), std::string("-z")}) {
            const json check = json::parse(
                runTool({"check", example(mesh), "--printer", printer, "--up", up, "-r", "48", "--json"}).out);
            const json& row = rows.at(up);
            for (const auto& [code, count, volume] : {std::tuple{"trapped", "sealed_cavities", "sealed_volume"},
                                                      std::tuple{"suction_cup", "suction_cups", "suction_volume"}}) {
                int found = 0;
                double sum = 0;
                for (const json& f : check["findings"]) {
                    if (f["code"] != code) continue;
                    ++found;
                    sum += f["measure"].get<double>();
                }
                EXPECT_EQ(found, row.value(count, 0)) << mesh << " " << up << " " << code;
                EXPECT_NEAR(sum, row.value(volume, 0.0), 1e-9 * sum) << mesh << " " << up << " " << code;
            }
            std::vector<json> supports;
            for (const json& f : check["findings"])
                if (f["code"] == "supports") supports.push_back(f);
            const bool needsSupport = row["overhang_area"] != 0 || row["islands"] != 0;
            ASSERT_EQ(supports.size(), needsSupport ? 1u : 0u) << mesh << " " << up;
            if (!needsSupport) continue;
            EXPECT_NEAR(supports[0]["measure"].get<double>(), row["overhang_area"].get<double>(),
                        1e-9 * row["overhang_area"].get<double>());
            if (row["islands"] != 0) {
                EXPECT_NE(supports[0]["message"].get<std::string>().find("; " + row["islands"].dump() + " region"),
                          std::string::npos)
                    << supports[0]["message"];
            }
        }
    }
}

// The profile check prints reads back as the same profile with the same verdict.
TEST(CheckAndOrient, PrintedProfileReadsBack)
{
    TempDir dir;
    const json printed =
        json::parse(runTool({"check", example("cup.stl"), "--printer", "fdm", "-r", "16", "--json"}).out);
    clitest::writeFile(dir.file("fdm.json"), printed["profile"].dump());
    const json again = json::parse(
        runTool({"check", example("cup.stl"), "--profile", dir.file("fdm.json"), "-r", "16", "--json"}).out);
    EXPECT_EQ(again["profile"], printed["profile"]);
    EXPECT_EQ(again["verdict"], printed["verdict"]);
}

// --thin takes two values, before the mesh as after it.
TEST(OptionOrder, ThinWindowBeforeOrAfterTheMesh)
{
    const json before = json::parse(runTool({"areas", "--thin", "0", "1.5", example("bracket.stl"), "--json"}).out);
    const json after = json::parse(runTool({"areas", example("bracket.stl"), "--thin", "0", "1.5", "--json"}).out);
    EXPECT_GT(before["selected_faces"].get<int>(), 0);
    EXPECT_EQ(before["selected_faces"], after["selected_faces"]);
    EXPECT_EQ(before["areas"], after["areas"]);
}

/// The top corner of the bounds and the unit `info` shows for the mesh.
std::pair<std::string, json> boundsOf(const Args& args)
{
    Args all = {"info"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back("--json");
    const ToolResult run = runTool(all);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const json report = json::parse(run.out);
    return {report["units"], report["bounds"][1]};
}

class UnitSummary : public ::testing::TestWithParam<const char*> {};

// Every summary states the unit the part was drawn in, and the figures are scaled from it.
TEST_P(UnitSummary, NamesTheUnit)
{
    TempDir dir;
    Args args = words(GetParam(), dir);
    args.insert(args.begin() + 1, example("cup.stl"));
    args.insert(args.end(), {"--units", "cm"});
    const ToolResult run = runTool(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::istringstream lines(run.out);
    bool named = false;
    for (std::string line, key, unit; std::getline(lines, line);)
        named = named ||
                (std::istringstream(line) >> key >> unit && key == "units" && unit.substr(0, unit.find(',')) == "cm");
    EXPECT_TRUE(named) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Command, UnitSummary,
                         ::testing::Values("info", "trapped -r 8", "orient -r 8 --directions 6",
                                           "thickness --min 0 --max 1 --samples 1", "areas --faces 0"
#ifdef MESHPROBE_HAS_REPORT
                                           ,
                                           "report -r 8 --samples 1 -o {tmp}/r.html"
#endif
                                           ));

/// A 3MF tetrahedron 3 x 2 x 1 in `unit`, written by the hostile corpus' generator.
std::string threeMf(const TempDir& dir, const std::string& unit)
{
    const std::string path = dir.file("t.3mf");
    const ToolResult made = clitest::runProgram(
        {"/usr/bin/python3", "-c",
         "import runpy, sys; m = runpy.run_path(sys.argv[1]); xml = m['model_xml'](m['TETRA_FACES'], "
         "[(0, 0, 0), (3, 0, 0), (0, 2, 0), (0, 0, 1)]).replace('\"millimeter\"', '\"' + sys.argv[3] + '\"'); "
         "open(sys.argv[2], 'wb').write(m['three_mf'](xml))",
         MESHPROBE_SOURCE_DIR "/scripts/make-hostile-corpus.py", path, unit});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return path;
}

// --units scales formats without units; a 3MF file's own unit wins, and is shown by its short name.
TEST(Units, FileUnitOrGivenUnitIsApplied)
{
    const auto [given, inCm] = boundsOf({example("cup.stl"), "--units", "cm"});
    EXPECT_EQ(given, "cm");
    const json inFileUnits = boundsOf({example("cup.stl")}).second;
    for (int axis = 0; axis < 3; ++axis)
        EXPECT_NEAR(inCm[axis].get<double>(), 10 * inFileUnits[axis].get<double>(), 1e-5 * inCm[axis].get<double>());

    const std::tuple<const char*, const char*, double> units[] = {
        {"millimeter", "mm", 1}, {"micron", "micron", 0.001}, {"centimeter", "cm", 10},
        {"inch", "in", 25.4},    {"foot", "ft", 12 * 25.4},   {"meter", "m", 1000}};
    TempDir dir;
    for (const auto& [unit, shown, scale] : units) {
        const auto [name, top] = boundsOf({threeMf(dir, unit), "--units", "cm"});
        EXPECT_EQ(name, shown);
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(top[axis].get<double>(), (3 - axis) * scale, 1e-6 * scale) << unit;
    }
}

// A mesh on standard input reads as the same file does, and its temporary copy is removed.
TEST(StandardInput, ReadsAsTheFileDoes)
{
    TempDir dir, temporary;
    for (const auto& [path, format] :
         {std::pair{example("cup.stl"), "stl"}, std::pair{threeMf(dir, "millimeter"), "3mf"}}) {
        const json fromFile = json::parse(runTool({"info", path, "--json"}).out);
        std::ifstream file(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const ToolResult run = clitest::runProgram({"/usr/bin/env", "TMPDIR=" + temporary.path, MESHPROBE_EXECUTABLE,
                                                    "info", "-", "--format", format, "--json"},
                                                   {&bytes, nullptr});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const json fromStdin = json::parse(run.out);
        EXPECT_EQ(fromStdin["mesh"], "-");
        for (const char* key : {"triangles", "vertices", "bounds", "volume"})
            EXPECT_EQ(fromStdin[key], fromFile[key]) << format << " " << key;
        EXPECT_TRUE(temporary.list().empty()) << format;
    }
}

std::string tetrahedron(const TempDir& dir, const std::string& size)
{
    const std::string path = dir.file("t" + size + ".obj");
    clitest::writeFile(path, "v 0 0 0\nv " + size + " 0 0\nv 0 " + size + " 0\nv 0 0 " + size +
                                 "\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n");
    return path;
}

// Coordinates near the float limit give a report (or one error object) without null or infinity; scaled
// beyond it by the unit, the mesh is refused.
TEST(HugeCoordinates, NeverGiveNullOrInfinity)
{
    TempDir dir;
    const std::string huge = tetrahedron(dir, "1e38");
    for (const Args& args :
         {Args{"info", huge}, Args{"trapped", huge, "-r", "8"}, Args{"thickness", huge, "--min", "0", "--max", "1"},
          Args{"areas", huge, "--thin", "0", "1"}}) {
        Args all = args;
        all.push_back("--json");
        const ToolResult run = runTool(all);
        const json report = json::parse(run.out);
        EXPECT_EQ(report.dump().find("null"), std::string::npos) << run.out; // dump() writes infinities as null
        expectSchemaFields(report, run.exitCode == 0 ? args[0] : "error");
    }
    const ToolResult scaled = runTool({"info", tetrahedron(dir, "1e36"), "--units", "m", "--json"});
    EXPECT_EQ(scaled.exitCode, 2);
    EXPECT_NE(json::parse(scaled.out)["error"].get<std::string>().find("exceed single precision"), std::string::npos);
}

struct Boundary {
    const char* command; ///< the mesh (a tetrahedron of side 1) goes after the first word
    const char* refusal; ///< part of the message; nullptr: the value is taken
};

class OptionRange : public ::testing::TestWithParam<Boundary> {};

// Just outside an option's range (and at zero, negative, infinite, NaN or empty where those are outside) the
// tool refuses with exit 2 naming the option or value; just inside it runs.
TEST_P(OptionRange, RefusedOutsideTakenInside)
{
    TempDir dir;
    Args args = words(GetParam().command, dir);
    args.insert(args.begin() + 1, tetrahedron(dir, "1"));
    args.push_back("--quiet");
    const ToolResult run = runTool(args);
    if (!GetParam().refusal) {
        EXPECT_EQ(run.exitCode, 0) << run.err;
    } else {
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find(GetParam().refusal), std::string::npos) << run.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, OptionRange,
    ::testing::Values(
        Boundary{"info --units ''", "--units"}, Boundary{"info --units in", nullptr}, Boundary{"trapped -r 1", nullptr},
        Boundary{"trapped -r 8 -j 4097", "--threads"}, Boundary{"trapped -r 8 -j 4096", nullptr},
        Boundary{"trapped -r 8 --min-cavity -0.001", "--min-cavity"},
        Boundary{"trapped -r 8 --min-cavity inf", "--min-cavity"}, Boundary{"trapped -r 8 --min-cavity 0", nullptr},
        Boundary{"trapped -r 8 --min-cavity ''", "'' is not a number"},
        Boundary{"trapped -r 8 --drain-holes -0.001", "--drain-holes"},
        Boundary{"trapped -r 8 --drain-holes nan", "--drain-holes"},
        Boundary{"trapped -r 8 --drain-holes 1000000.1", "--drain-holes"},
        Boundary{"trapped -r 8 --drain-holes 1000000", "box diagonal"},
        Boundary{"trapped -r 8 --drain-holes 1.7321", "valid range 0 (no holes) to 1.73205 mm"},
        Boundary{"trapped -r 8 --drain-holes 0", "--drain-holes"},
        Boundary{"trapped -r 8 --drain-holes 1.732", nullptr}, Boundary{"trapped -r 8 --up nan,0,1", "--up"},
        Boundary{"trapped -r 8 --up ''", "--up"}, Boundary{"trapped -r 8 --up 0,0.001,1", nullptr},
        Boundary{"trapped -r 8 --printer ''", "--printer"}, Boundary{"trapped -r 8 --cavities-as columns", nullptr},
        Boundary{"thickness --min 0 --max 1 --samples -1", "--samples"},
        Boundary{"thickness --min 0 --max 1 --samples 2147483648", "--samples"},
        Boundary{"thickness --min -0.001 --max 1", "--min"}, Boundary{"thickness --min inf --max 1", "--min"},
        Boundary{"thickness --min 1 --max 0.999", "--min"}, Boundary{"thickness --min 0 --max 1000000.1", "--max"},
        Boundary{"thickness --min 1 --max 1 --samples 1", nullptr},
        Boundary{"thickness --min 0 --max 1 --samples 0 --min-thin-area inf", "--min-thin-area"},
        Boundary{"areas --faces ''", "--faces"}, Boundary{"areas --faces 4", "face 4"},
        Boundary{"areas --faces -1", "-1"}, Boundary{"areas --faces 3-4", "face 4"},
        Boundary{"areas --faces 0-3", nullptr}, Boundary{"areas --thin 0 inf", "--thin"},
        Boundary{"areas --thin -1 1", "--thin"}, Boundary{"orient -r 4 --directions 10001", "--directions"},
        Boundary{"orient -r 4 --directions 1", nullptr}, Boundary{"orient -r 4 -j 0", "--threads"},
        Boundary{"orient -r 4 --directions 6 -j 4097", "--threads"}));

} // namespace
