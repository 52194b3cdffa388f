// SPDX-License-Identifier: MIT
// Face lists on the command line: indices, ranges, files, and the errors a user can make.
#include <gtest/gtest.h>

#include "cli/CliError.h"
#include "cli/FaceSelection.h"
#include "tests/cli/ToolRunner.h"

namespace {

using cli::parseFaceSelection;

TEST(FaceSelection, IndicesAndRangesSortedWithoutRepeats)
{
    EXPECT_EQ(parseFaceSelection("9-12,3 4,,10", 20, "--faces"), (std::vector<int>{3, 4, 9, 10, 11, 12}));
    EXPECT_EQ(parseFaceSelection("0-0", 1, "--faces"), (std::vector<int>{0}));
    EXPECT_EQ(parseFaceSelection("19", 20, "--faces"), (std::vector<int>{19}));
}

TEST(FaceSelection, ReadsListFilesWithComments)
{
    clitest::TempDir dir;
    clitest::writeFile(dir.file("faces.txt"), "# thin rib\n5-7\n 1, 2 # two more\n\n");
    EXPECT_EQ(parseFaceSelection("@" + dir.file("faces.txt"), 8, "--faces"), (std::vector<int>{1, 2, 5, 6, 7}));
}

class FaceSelectionRejects : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(FaceSelectionRejects, NamesOptionAndProblem)
{
    try {
        parseFaceSelection(GetParam().first, 10, "--faces");
        FAIL() << "accepted '" << GetParam().first << "'";
    } catch (const cli::InputError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("--faces: ", 0), 0u) << message;
        EXPECT_NE(message.find(GetParam().second), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    FaceSelection, FaceSelectionRejects,
    ::testing::Values(std::make_pair("10", "face 10 does not exist"), std::make_pair("2-10", "face 10 does not exist"),
                      std::make_pair("5-3", "runs backwards"), std::make_pair("-3", "'-3' is not a face index"),
                      std::make_pair("3x", "'3x' is not a face index"),
                      std::make_pair("1-2-3", "'1-2-3' is not a face index"),
                      std::make_pair("99999999999999999", "is not a face index"), std::make_pair(" , ", "no faces"),
                      std::make_pair("@/nonexistent/list.txt", "cannot read the list file")));

} // namespace
