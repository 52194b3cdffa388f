// SPDX-License-Identifier: MIT
// End to end: usage errors of every subcommand exit with 2, name the problem on stderr and write nothing.
#include <gtest/gtest.h>

#include "tests/cli/ToolRunner.h"

namespace {

struct UsageCase {
    const char* name;
    std::vector<std::string> args; ///< "MESH" stands for a 4 x 1 strip of quads (8 faces), "DIR" for its folder
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
            args.push_back(arg == "DIR" ? dir.path : arg);
        }
    }
    const clitest::ToolResult run = clitest::runTool(args);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(GetParam().expected), std::string::npos) << run.err;
    EXPECT_EQ(dir.list().size(), filesWritten);
}

INSTANTIATE_TEST_SUITE_P(
    Command, UsageErrors,
    ::testing::Values(UsageCase{"NoCommand", {}, "subcommand is required"},
                      UsageCase{"UnknownCommand", {"inspect", "x.stl"}, "unknown command 'inspect'"},
                      UsageCase{"MissingMesh", {"info"}, "MESH is required"},
                      UsageCase{"UnknownOption", {"info", "x.stl", "--colour"}, "--colour"},
                      UsageCase{
                          "MissingFile", {"info", "/nonexistent/part.stl"}, "/nonexistent/part.stl: no such file"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Trapped, UsageErrors,
    ::testing::Values(
        UsageCase{"ResolutionZero", {"trapped", "MESH", "-r", "0"}, "--resolution"},
        UsageCase{"ResolutionTooLarge", {"trapped", "MESH", "--resolution", "1291"}, "--resolution"},
        UsageCase{"ResolutionNotANumber", {"trapped", "MESH", "-r", "fine"}, "--resolution"},
        UsageCase{"NoThreads", {"trapped", "MESH", "-j", "0"}, "--threads"},
        UsageCase{"UnknownAxis", {"trapped", "MESH", "--up", "z"}, "--up"},
        UsageCase{
            "UnknownCavityFormat", {"trapped", "MESH", "--cavities", "/tmp/out.vrml"}, "unknown output format '.vrml'"},
        UsageCase{"CavityFolderMissing", {"trapped", "MESH", "--cavities", "/nonexistent/out.stl"}, "does not exist"},
        UsageCase{"CavityPathIsFolder", {"trapped", "MESH", "--cavities", "DIR"}, "is a folder"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Thickness, UsageErrors,
    ::testing::Values(
        UsageCase{"MinAboveMax", {"thickness", "MESH", "--min", "3", "--max", "1"}, "--min 3 is greater than --max 1"},
        UsageCase{"MissingMax", {"thickness", "MESH", "--min", "1"}, "--max is required"},
        UsageCase{"NegativeMin", {"thickness", "MESH", "--min", "-1", "--max", "1"}, "--min"},
        UsageCase{"NanMax", {"thickness", "MESH", "--min", "0", "--max", "nan"}, "--max"},
        UsageCase{"NegativeSamples", {"thickness", "MESH", "--min", "0", "--max", "1", "--samples", "-2"}, "--samples"},
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

} // namespace
