// SPDX-License-Identifier: MIT
// End to end: usage errors of every subcommand exit with 2, name the problem on stderr and write nothing.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"

namespace {

struct UsageCase {
    const char* name;
    std::vector<std::string> args; ///< "MESH" stands for a 4 x 1 strip of quads (8 faces), "DIR" for its folder
                                   ///< (also as the start of a path: "DIR/r.html")
    const char* expected;          ///< part of the message
};

std::ostream& operator<<(std::ostream& os, const UsageCase& c)
{
    return os << c.name;
}

std::string caseName(const ::testing::TestParamInfo<UsageCase>& param)
{
    return param.param.name;
}

class UsageErrors : public ::testing::TestWithParam<UsageCase> {};

// stdout stays empty and no output file (nor a temporary beside it) is left next to the mesh.
TEST_P(UsageErrors, ExitTwoNamingTheProblem)
{
    clitest::TempDir dir;
    std::vector<std::string> args;
    size_t filesWritten = 0;
    for (const std::string& arg : GetParam().args) {
        if (arg == "MESH") {
            args.push_back(clitest::writeMesh(dir, "strip.ply", testmesh::quadGrid(4, 1)));
            filesWritten = 1;
        } else {
            args.push_back(arg.rfind("DIR", 0) == 0 ? dir.path + arg.substr(3) : arg);
        }
    }
    const clitest::ToolResult run = clitest::runTool(args);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(GetParam().expected), std::string::npos) << run.err;
    EXPECT_EQ(dir.list().size(), filesWritten);
}

// With --json, stdout holds one JSON object carrying the same message and the exit code.
TEST_P(UsageErrors, WithJsonOneErrorObjectOnStdout)
{
    clitest::TempDir dir;
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args)
        args.push_back(arg == "MESH"  ? clitest::writeMesh(dir, "strip.ply", testmesh::quadGrid(4, 1))
                       : arg == "DIR" ? dir.path
                                      : arg);
    args.push_back("--json");
    const clitest::ToolResult run = clitest::runTool(args);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    const nlohmann::json report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["exit_code"], 2);
    EXPECT_EQ(report["schema"], 1);
    EXPECT_EQ("meshprobe: " + report["error"].get<std::string>() + "\n", run.err);
}

INSTANTIATE_TEST_SUITE_P(
    Command, UsageErrors,
    ::testing::Values(UsageCase{"NoCommand", {}, "subcommand is required"},
                      UsageCase{"UnknownCommand", {"inspect", "x.stl"}, "unknown command 'inspect'"},
                      UsageCase{"MissingMesh", {"info"}, "MESH is required"},
                      UsageCase{"UnknownOption", {"info", "x.stl", "--colour"}, "--colour"},
                      UsageCase{
                          "MissingFile", {"info", "/nonexistent/part.stl"}, "/nonexistent/part.stl: no such file"},
                      UsageCase{"UnknownUnit", {"info", "MESH", "--units", "ft"}, "--units"},
                      UsageCase{"StdinWithoutFormat", {"info", "-"}, "needs --format"},
                      UsageCase{"FormatForAFile", {"info", "MESH", "--format", "stl"}, "--format is for MESH '-'"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Trapped, UsageErrors,
    ::testing::Values(
        UsageCase{"ResolutionZero", {"trapped", "MESH", "-r", "0"}, "--resolution"},
        UsageCase{"ResolutionTooLarge", {"trapped", "MESH", "--resolution", "1291"}, "--resolution"},
        UsageCase{"ResolutionNotANumber", {"trapped", "MESH", "-r", "fine"}, "--resolution"},
        UsageCase{"NoThreads", {"trapped", "MESH", "-j", "0"}, "--threads: '0' is outside the valid range 1 to 4096"},
        UsageCase{"EmptyCavityPath", {"trapped", "MESH", "--cavities", ""}, "the output path is empty"},
        UsageCase{"CavitiesOverInput", {"trapped", "MESH", "--cavities", "MESH"}, "is the input mesh; give --force"},
        UsageCase{"UnknownAxis", {"trapped", "MESH", "--up", "z"}, "--up"},
        UsageCase{
            "UnknownCavityFormat", {"trapped", "MESH", "--cavities", "/tmp/out.vrml"}, "unknown output format '.vrml'"},
        UsageCase{"CavityFolderMissing", {"trapped", "MESH", "--cavities", "/nonexistent/out.stl"}, "does not exist"},
        UsageCase{"CavityPathIsFolder", {"trapped", "MESH", "--cavities", "DIR"}, "is a folder"},
        UsageCase{"ZeroUpVector", {"trapped", "MESH", "--up", "0,0,0"}, "--up"},
        UsageCase{"UnknownPrinter", {"trapped", "MESH", "--printer", "sla"}, "unknown printer 'sla'"},
        UsageCase{"UpAndPrinter", {"trapped", "MESH", "--up", "+x", "--printer", "fdm"}, "excludes"},
        UsageCase{"CavitiesAsUnknown", {"trapped", "MESH", "--cavities-as", "voxels"}, "--cavities-as"},
        UsageCase{"NegativeMinCavity", {"trapped", "MESH", "--min-cavity", "-1"}, "--min-cavity"},
        UsageCase{"HoleFileWithoutDiameter",
                  {"trapped", "MESH", "--drain-holes-file", "/tmp/holes.stl"},
                  "needs --drain-holes"},
        UsageCase{"OrientNoDirections", {"orient", "MESH", "--directions", "0"}, "--directions"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Thickness, UsageErrors,
    ::testing::Values(
        UsageCase{"MinAboveMax", {"thickness", "MESH", "--min", "3", "--max", "1"}, "--min 3 is greater than --max 1"},
        UsageCase{"MissingMax", {"thickness", "MESH", "--min", "1"}, "--max is required"},
        UsageCase{"NegativeMin",
                  {"thickness", "MESH", "--min", "-1", "--max", "1"},
                  "--min: '-1' is outside the valid range 0 to 1000000 mm"},
        UsageCase{"NanMax", {"thickness", "MESH", "--min", "0", "--max", "nan"}, "--max: 'nan' is outside"},
        UsageCase{"MaxBeyondSinglePrecision",
                  {"thickness", "MESH", "--min", "0", "--max", "1e39"},
                  "--max: '1e39' is outside the valid range 0 to 1000000 mm"},
        UsageCase{"InfiniteMax", {"thickness", "MESH", "--min", "0", "--max", "inf"}, "--max: 'inf' is outside"},
        UsageCase{"NegativeSamples",
                  {"thickness", "MESH", "--min", "0", "--max", "1", "--samples", "-3"},
                  "--samples: '-3' is outside the valid range 0 to 2147483647"},
        UsageCase{"NegativeMinThinArea",
                  {"thickness", "MESH", "--min", "0", "--max", "1", "--min-thin-area", "-1"},
                  "--min-thin-area: '-1' is outside"},
        UsageCase{"EmptyColourPath",
                  {"thickness", "MESH", "--min", "0", "--max", "1", "--color", ""},
                  "--color: the output path is empty"},
        UsageCase{
            "ColourOverInput", {"thickness", "MESH", "--min", "0", "--max", "1", "--color", "MESH"}, "--color: '"},
        UsageCase{"NoThreads", {"thickness", "MESH", "--min", "0", "--max", "1", "-j", "0"}, "--threads"},
        UsageCase{"ColourInStl",
                  {"thickness", "MESH", "--min", "0", "--max", "1", "--color", "/tmp/c.stl"},
                  "cannot hold per-face colours"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Areas, UsageErrors,
    ::testing::Values(UsageCase{"NoSelection", {"areas", "MESH"}, "--faces LIST or --thin MIN MAX"},
                      UsageCase{"FacePastTheEnd", {"areas", "MESH", "--faces", "8"}, "face 8 does not exist"},
                      UsageCase{"BadRange", {"areas", "MESH", "--faces", "2-x"}, "'2-x'"},
                      UsageCase{"FacesAndThin", {"areas", "MESH", "--faces", "1", "--thin", "0", "1"}, "excludes"},
                      UsageCase{"ThinMinAboveMax", {"areas", "MESH", "--thin", "2", "1"}, "greater than"},
                      UsageCase{"NoThreads", {"areas", "MESH", "--thin", "0", "1", "--threads", "0"}, "--threads"}),
    caseName);

#ifdef MESHPROBE_HAS_REPORT
INSTANTIATE_TEST_SUITE_P(
    Report, UsageErrors,
    ::testing::Values(
        UsageCase{"NoOutput", {"report", "MESH"}, "--output is required"},
        UsageCase{"NotHtml", {"report", "MESH", "-o", "DIR/report.txt"}, "must end in .html"},
        UsageCase{"MissingFolder", {"report", "MESH", "-o", "/nonexistent/r.html"}, "does not exist"},
        UsageCase{"MinAboveMax", {"report", "MESH", "-o", "DIR/r.html", "--min", "2", "--max", "1"}, "greater than"},
        UsageCase{"UnknownUp", {"report", "MESH", "-o", "DIR/r.html", "--up", "w"}, "--up"},
        UsageCase{"UnknownPrinter", {"report", "MESH", "-o", "DIR/r.html", "--printer", "sla"}, "unknown printer"},
        UsageCase{"DrainHolesWithoutTrapped",
                  {"report", "MESH", "-o", "DIR/r.html", "--no-trapped", "--drain-holes", "2"},
                  "--no-trapped"}),
    caseName);
#endif

} // namespace
