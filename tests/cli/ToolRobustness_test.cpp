// SPDX-License-Identifier: MIT
// End to end: the tool against hostile files, a standard output that cannot take the report, and SIGINT or
// SIGTERM at every stage of a run (loading, setting up, analysing), also a second Ctrl-C while a file is
// written. The signal tests time the tool's exit; ctest runs them alone (meshprobe_cli_tests.signals).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "tests/cli/ToolRunner.h"
#include "tests/support/PrintParts.h"

namespace {

using clitest::TempDir;
using clitest::ToolResult;
using Clock = std::chrono::steady_clock;

/// Sanitizer builds run the tool several times slower: they scale the time bounds, which are the tool's
/// promise for a normal build.
double timeScale()
{
    return std::getenv("MESHPROBE_TEST_TIME_SCALE") ? std::atof(std::getenv("MESHPROBE_TEST_TIME_SCALE")) : 1.0;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct HostileFile {
    std::string name;
    int expected;
    std::vector<std::string> args; ///< the command and the options after the path
};

/// Writes the corpus with its generator script, which lists every file with what the tool must do with it.
std::vector<HostileFile> writeHostileCorpus(const TempDir& dir)
{
    const ToolResult made =
        clitest::runProgram({"/usr/bin/python3", MESHPROBE_SOURCE_DIR "/scripts/make-hostile-corpus.py", dir.path});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    std::vector<HostileFile> corpus;
    std::istringstream lines(made.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line); // no field holds white space
        HostileFile& file = corpus.emplace_back();
        fields >> file.name >> file.expected;
        for (std::string arg; fields >> arg;)
            file.args.push_back(arg);
    }
    return corpus;
}

// Every file ends within seconds with its exit code (one waits out the reader's time limit, the others are
// refused at once), and a refusal names the file.
TEST(ToolRobustness, HostileFilesEndQuicklyWithTheirExitCode)
{
    TempDir dir;
    const std::vector<HostileFile> corpus = writeHostileCorpus(dir);
    ASSERT_GE(corpus.size(), 15u);
    for (const HostileFile& file : corpus) {
        std::vector<std::string> args = {file.args[0], dir.file(file.name)};
        args.insert(args.end(), file.args.begin() + 1, file.args.end());
        const Clock::time_point start = Clock::now();
        const ToolResult run = clitest::runTool(args);
        EXPECT_LT(secondsSince(start), 6 * timeScale()) << file.name;
        EXPECT_EQ(run.exitCode, file.expected) << file.name << ": " << run.err;
        EXPECT_TRUE(file.expected != 2 || run.err.find(dir.file(file.name)) != std::string::npos) << run.err;
    }
}

// A report that cannot be written is a failure (exit 1) in text and JSON alike; a failing verdict keeps its
// own exit code.
TEST(ToolRobustness, ReportThatCannotReachStdoutFails)
{
    TempDir dir;
    const std::string tetrahedron = dir.file("t.obj");
    clitest::writeFile(tetrahedron, "v 0 0 0\nv 10 0 0\nv 0 10 0\nv 0 0 10\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n");
    const std::string cup = clitest::writeMesh(dir, "cup.stl", printparts::cupOpeningUp());
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"info", tetrahedron}, 1},
        {{"trapped", tetrahedron, "-r", "16"}, 1},
        {{"thickness", tetrahedron, "--min", "0", "--max", "1", "--samples", "1"}, 1},
        {{"areas", tetrahedron, "--faces", "0-3"}, 1},
        {{"check", cup, "--printer", "bottom-up-resin", "-r", "16"}, 3}};
    for (const auto& [args, expected] : cases)
        for (const bool json : {false, true}) {
            std::vector<std::string> all = args;
            if (json) all.push_back("--json");
            const ToolResult run = clitest::runTool(all, {nullptr, "/dev/full"});
            EXPECT_EQ(run.exitCode, expected) << all[0] << " json " << json << ": " << run.err;
            EXPECT_NE(run.err.find("cannot write to standard output"), std::string::npos) << run.err;
        }
}

/// A moment of a run as the progress bar shows it ("\r[###...] 42%  label\033[K", "\r\033[K" clears it):
/// `label` at `percent` or more, or any drawing after it (a fast stage may be drawn once); no label: cleared.
struct Moment {
    const char* label;
    int percent;

    bool reached(const std::string& terminal) const
    {
        bool seen = false;
        for (size_t at = terminal.find('\r'); at != std::string::npos; at = terminal.find('\r', at + 1)) {
            const size_t end = terminal.find("\033[K", at), close = terminal.find("] ", at);
            if (end == std::string::npos) return false;
            if (seen || (!label && end == at + 1)) return true;
            seen = label && close < end && terminal.compare(close + 8, std::strlen(label), label) == 0;
            if (seen && std::atoi(terminal.c_str() + close + 2) >= percent) return true;
        }
        return false;
    }
};

/// A UV sphere of about `triangles` triangles, written once for all tests: large enough to interrupt.
const std::string& ball(int triangles)
{
    static TempDir dir;
    static std::map<int, std::string> written;
    std::string& path = written[triangles];
    if (path.empty()) {
        const int rings = triangles / 1200;
        path = clitest::writeMesh(dir, "ball-" + std::to_string(triangles) + ".stl",
                                  testmesh::sphere(0, 0, 0, 20, rings, triangles / (2 * rings)));
    }
    return path;
}

struct Signalled {
    ToolResult run;
    double secondsToExit = 0; ///< from the signal to the end of the run
    bool sent = false;
};

/// Runs the tool on a terminal and sends `signals` (50 ms apart) once `when(seconds since the start,
/// terminal output)` holds.
Signalled signalWhen(const std::vector<std::string>& args, const std::function<bool(double, const std::string&)>& when,
                     std::initializer_list<int> signals)
{
    Signalled result;
    Clock::time_point start = Clock::now(), sent;
    result.run = clitest::runToolOnTerminal(args, [&](const std::string& terminal, pid_t pid) {
        if (!when(secondsSince(start), terminal)) return false;
        sent = Clock::now();
        result.sent = true;
        for (int number : signals) {
            if (number != *signals.begin()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            kill(pid, number);
        }
        return true;
    });
    result.secondsToExit = result.sent ? secondsSince(sent) : 0;
    return result;
}

/// The tool was done before the signal, or on its way out with its own exit code when it came.
bool finishedFirst(const Signalled& s)
{
    return !s.sent || (s.run.exitCode == 0 && s.run.err.find("interrupted") == std::string::npos);
}

/// Half a second on an idle machine, growing with the load per core (to at most four times that): a tool
/// slow to stop still fails on a busy machine, as a slow exit is retried and a slow tool is slow every time.
double exitBound()
{
    double load = 0;
    getloadavg(&load, 1);
    return 0.5 * timeScale() * std::min(4.0, std::max(1.0, load / std::thread::hardware_concurrency()));
}

struct SignalCase {
    const char* name;
    std::vector<std::string> options;
    int triangles;
    Moment stage;    ///< no label: a moment before any bar, at `fraction` of the time a measured run took
    double fraction; ///< to show its bar, or (loading, which has none) to end
};

class ToolSignals : public ::testing::TestWithParam<SignalCase> {};

// SIGINT and SIGTERM end the run promptly with 130 and 143 and one "interrupted" line (the watchdog and
// main() never both report it). A run whose exit is late is tried again, three times at most.
void expectPromptExit(const std::string& what, int number, const std::function<Signalled()>& attempt)
{
    const int expected = number == SIGINT ? 130 : 143;
    for (int tries = 1;; ++tries) {
        const Signalled s = attempt();
        ASSERT_FALSE(finishedFirst(s)) << what << ": the signal never reached the running tool";
        ASSERT_EQ(s.run.exitCode, expected) << what << " signal " << number << ": " << s.run.err;
        const size_t report = s.run.err.find("meshprobe: interrupted");
        EXPECT_TRUE(report != std::string::npos && report == s.run.err.rfind("meshprobe: interrupted")) << s.run.err;
        const double bound = exitBound();
        if (s.secondsToExit < bound) return;
        ASSERT_LT(tries, 3) << what << " signal " << number << ": exit took " << s.secondsToExit << " s (bound "
                            << bound << " s), three times";
    }
}

TEST_P(ToolSignals, EndPromptlyAtEveryStage)
{
    const SignalCase& c = GetParam();
    std::vector<std::string> args = {c.options[0], ball(c.triangles)};
    args.insert(args.end(), c.options.begin() + 1, c.options.end());
    double reference = 0, startUp = 0;
    const Clock::time_point start = Clock::now();
    const Signalled measured = signalWhen(args,
                                          [&](double t, const std::string& terminal) {
                                              if (reference == 0 && terminal.find('%') != std::string::npos)
                                                  reference = t;
                                              return false;
                                          },
                                          {});
    ASSERT_EQ(measured.run.exitCode, 0) << measured.run.err;
    if (reference == 0) reference = secondsSince(start);
    for (int i = 0; i < 3; ++i) { // loading the libraries and installing the signal handlers
        const Clock::time_point began = Clock::now();
        clitest::runTool({"--version"});
        startUp = std::max(startUp, secondsSince(began));
    }
    for (const int number : {SIGINT, SIGTERM}) {
        if (c.stage.label) {
            expectPromptExit(c.name, number, [&] {
                return signalWhen(args, [&](double, const std::string& t) { return c.stage.reached(t); }, {number});
            });
            continue;
        }
        // Earlier again when the tool was done first, later when the signal's default action killed it
        // while it started (before its handlers were installed). A tool that never handles the signal ends
        // killed or done in every try and fails.
        double delay = c.fraction * reference;
        expectPromptExit(c.name, number, [&] {
            Signalled s;
            for (int tries = 0; tries < 8; ++tries) {
                s = signalWhen(args,
                               [&](double t, const std::string& terminal) { return t >= delay || !terminal.empty(); },
                               {number});
                if (finishedFirst(s))
                    delay *= 0.5;
                else if (s.run.signal == number && delay < std::max(0.1 * timeScale(), 2 * startUp))
                    delay = 2 * delay + 0.002;
                else
                    break;
            }
            return s;
        });
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stage, ToolSignals,
    ::testing::Values(
        SignalCase{"LoadingEarly", {"info"}, 600000, {nullptr, 0}, 0.1},
        SignalCase{"Loading", {"info"}, 600000, {nullptr, 0}, 0.4},
        SignalCase{"LoadingLate", {"info"}, 600000, {nullptr, 0}, 0.7},
        SignalCase{"SettingUpTrapped", {"trapped", "-r", "256"}, 120000, {nullptr, 0}, 0.5},
        SignalCase{"Voxelizing", {"trapped", "-r", "256"}, 120000, {"voxelizing", 10}, 0},
        SignalCase{"SettingUpThickness",
                   {"thickness", "--min", "0", "--max", "5", "--samples", "8"},
                   120000,
                   {nullptr, 0},
                   0.5},
        SignalCase{
            "Measuring", {"thickness", "--min", "0", "--max", "5", "--samples", "8"}, 120000, {"measuring", 10}, 0},
        // Every face of the ball is thinner than 45 mm: the thin areas have all its faces to read and group.
        SignalCase{"GroupingThinAreas",
                   {"thickness", "--min", "0", "--max", "45", "--samples", "1"},
                   120000,
                   {"thin areas", 0},
                   0}),
    [](const ::testing::TestParamInfo<SignalCase>& param) { return std::string(param.param.name); });

struct WriteMoment {
    const char* name;
    std::vector<std::string> options; ///< the output path follows
    Moment moment;
};

class SecondCtrlC : public ::testing::TestWithParam<WriteMoment> {};

// A second Ctrl-C before, while or after the colour file or the cavity meshes are written leaves no partial
// file: the run ends with nothing written, or with the whole file when it was complete before the signal
// was acted on (the run then ends normally, or interrupted after the file).
TEST_P(SecondCtrlC, LeavesNoPartialFile)
{
    TempDir dir;
    std::vector<std::string> args = {GetParam().options[0], ball(120000)};
    args.insert(args.end(), GetParam().options.begin() + 1, GetParam().options.end());
    args.push_back(dir.file("result.ply"));
    const Signalled s =
        signalWhen(args, [&](double, const std::string& t) { return GetParam().moment.reached(t); }, {SIGINT, SIGINT});
    ASSERT_TRUE(s.run.exitCode == 0 || s.run.exitCode == 130) << s.run.exitCode << s.run.err;
    const std::vector<std::string> left = dir.list(), whole = {"result.ply"};
    EXPECT_TRUE(left == whole || (s.run.exitCode == 130 && left.empty()))
        << s.run.exitCode << ", left: " << testing::PrintToString(left) << "\n"
        << s.run.err;
}

const std::vector<std::string> colour = {"thickness", "--min", "0", "--max", "5", "--samples", "0", "--color"};
const std::vector<std::string> cavities = {"trapped", "-r", "64", "--cavities"};

INSTANTIATE_TEST_SUITE_P(Writing, SecondCtrlC,
                         ::testing::Values(WriteMoment{"ColourWhileMeasuring", colour, {"measuring", 0}},
                                           WriteMoment{"ColourWhileWriting", colour, {"thin areas", 100}},
                                           WriteMoment{"ColourAfterWriting", colour, {nullptr, 0}},
                                           WriteMoment{"CavitiesWhileVoxelizing", cavities, {"voxelizing", 0}},
                                           WriteMoment{"CavitiesWhileLocating", cavities, {"locating cavities", 0}},
                                           WriteMoment{"CavitiesWhileWriting", cavities, {"writing", 0}}),
                         [](const ::testing::TestParamInfo<WriteMoment>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
