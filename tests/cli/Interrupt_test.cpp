// SPDX-License-Identifier: MIT
// End to end: the progress bar on a terminal, and Ctrl-C cancelling a long run without leaving output.
#include <gtest/gtest.h>

#include <map>

#include "tests/cli/ToolRunner.h"

namespace {

using clitest::TempDir;

/// A finely tessellated ball (about 100k triangles): long enough to interrupt at any resolution used here.
std::string writeBall(const TempDir& dir)
{
    return clitest::writeMesh(dir, "ball.stl", testmesh::sphere(0, 0, 0, 20, 160, 320));
}

/// Sends SIGINT as soon as the progress bar has drawn a percentage, i.e. once the analysis is running.
bool interruptOnFirstProgress(const std::string& terminal, pid_t pid)
{
    if (terminal.find('%') == std::string::npos) return false;
    kill(pid, SIGINT);
    return true;
}

struct LongRun {
    const char* name;
    std::vector<std::string> options;
    const char* output;
};

std::ostream& operator<<(std::ostream& os, const LongRun& c)
{
    return os << c.name;
}

class CtrlC : public ::testing::TestWithParam<LongRun> {};

// Interrupted runs exit with 130, say so, and leave neither the output file nor a temporary beside it.
TEST_P(CtrlC, ExitsWith130AndWritesNothing)
{
    TempDir dir;
    std::vector<std::string> args = {GetParam().options[0], writeBall(dir)};
    args.insert(args.end(), GetParam().options.begin() + 1, GetParam().options.end());
    args.push_back(dir.file(GetParam().output));
    const clitest::ToolResult run = clitest::runToolOnTerminal(args, interruptOnFirstProgress);
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"ball.stl"});
}

INSTANTIATE_TEST_SUITE_P(
    Interrupt, CtrlC,
    ::testing::Values(LongRun{"Trapped", {"trapped", "-r", "600", "--cavities"}, "cavities.stl"},
                      LongRun{"Thickness", {"thickness", "--min", "0", "--max", "50", "--color"}, "ball.ply"}),
    [](const ::testing::TestParamInfo<LongRun>& param) { return std::string(param.param.name); });

// On a terminal the bar is drawn and erased again before the summary; --quiet keeps stderr silent.
TEST(Interrupt, ProgressBarOnTerminalOnlyWithoutQuiet)
{
    TempDir dir;
    const std::string ball = clitest::writeMesh(dir, "ball.stl", testmesh::sphere(0, 0, 0, 20, 16, 32));
    auto never = [](const std::string&, pid_t) { return false; };

    const clitest::ToolResult shown = clitest::runToolOnTerminal({"trapped", ball, "-r", "32"}, never);
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_NE(shown.err.find("voxelizing"), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find("100%"), std::string::npos) << shown.err;
    EXPECT_EQ(shown.err.substr(shown.err.size() - 4), "\r\033[K"); // erased at the end
    EXPECT_NE(shown.out.find("trapped"), std::string::npos);

    // Voxelizing on two threads reports work items out of order: the bar still never moves back in a stage.
    const clitest::ToolResult busy = clitest::runToolOnTerminal({"trapped", ball, "-r", "200", "-j", "2"}, never);
    ASSERT_EQ(busy.exitCode, 0) << busy.err;
    std::map<std::string, int> shownPercent;
    for (size_t at = busy.err.find('\r'); at != std::string::npos; at = busy.err.find('\r', at + 1)) {
        const size_t close = busy.err.find("] ", at);
        const size_t end = busy.err.find("\033[K", at);
        if (close == std::string::npos || end == std::string::npos || close > end) continue;
        const int percent = std::stoi(busy.err.substr(close + 2, 3));
        const std::string label = busy.err.substr(close + 7, end - close - 7);
        EXPECT_GE(percent, shownPercent[label]) << label;
        shownPercent[label] = percent;
    }
    EXPECT_FALSE(shownPercent.empty()) << busy.err;

    const clitest::ToolResult quiet = clitest::runToolOnTerminal({"trapped", ball, "-r", "32", "--quiet"}, never);
    ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
}

} // namespace
