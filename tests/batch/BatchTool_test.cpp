// SPDX-License-Identifier: MIT
// End to end: `meshprobe batch` refuses bad usage before any part, gives a part over its limits a failure
// record, and however often it is interrupted or killed and resumed, ends with one record per part.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <iterator>
#include <random>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"

#ifdef MESHPROBE_EXECUTABLE
namespace {

using nlohmann::json;

std::string contentOf(const std::string& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The complete lines of a batch's output as records; `unfinished` tells whether a last line was cut short.
std::vector<json> recordsIn(const std::string& text, bool& unfinished)
{
    std::vector<json> records;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        records.push_back(json::parse(text.substr(start, end - start)));
    unfinished = start != text.size();
    return records;
}

TEST(BatchTool, RefusesBadUsageBeforeAnyPart)
{
    clitest::TempDir dir, empty;
    const std::string part = clitest::writeMesh(dir, "box.stl", testmesh::box(0, 0, 0, 1, 1, 1));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{part, "--resolution", "64"}, "--trapped"},
        {{part, "--samples", "3"}, "--thickness"},
        {{part, "--jobs", "0"}, "--jobs"},
        {{part, "--resume"}, "--output"},
        {{part, "--part-timeout", "1e10"}, "above 0 to 1000000000 s"},
        {{empty.path}, "no mesh files"}};
    for (const auto& [args, message] : cases) {
        std::vector<std::string> command = {"batch"};
        command.insert(command.end(), args.begin(), args.end());
        const clitest::ToolResult run = clitest::runTool(command);
        EXPECT_EQ(run.exitCode, 2) << message;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
}

TEST(BatchTool, APartOverItsLimitGetsAFailureRecordAndTheOthersComplete)
{
#ifdef MESHPROBE_SANITIZED_TOOL
    // Once in CI, under AddressSanitizer on a loaded machine, this suite did not end within 10 minutes; the
    // tool's parts on two jobs are run end to end by the plain, Clang and Debug builds.
    GTEST_SKIP() << "the sanitized tool's batch on two jobs";
#endif
    clitest::TempDir dir;
    const std::string small = clitest::writeMesh(dir, "small.stl", testmesh::box(0, 0, 0, 1, 1, 1));
    ASSERT_EQ(mkfifo(dir.file("stalled.stl").c_str(), 0600), 0); // nobody writes to it: its reader waits for ever
    // 300,000 triangles: reading them takes more than 16 MB, less than 256.
    clitest::writeFile(dir.file("heavy.stl"), clitest::binaryStl(testmesh::quadGrid(500, 300)));
    const std::vector<std::vector<std::string>> limits = {
        {"stalled.stl", "--part-timeout", "3", "timeout", "within the 3 s a part may take", "2"},
    // An address-space limit, which sanitizers' shadow memory rules out.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        // On one job: a part forked from a worker thread also keeps the free room of that thread's malloc arena,
        // which is already mapped, so on two jobs 16 MB is sometimes enough.
        {"heavy.stl", "--part-memory", "16", "memory", "more memory than the 16 MB a part may use", "1"},
        {"heavy.stl", "--part-memory", "256", "", "", "1"},
#endif
    };
    for (const std::vector<std::string>& limit : limits) {
        const clitest::ToolResult run =
            clitest::runTool({"batch", small, dir.file(limit[0]), limit[1], limit[2], "--jobs", limit[5], "--ordered"});
        bool unfinished = false;
        const std::vector<json> records = recordsIn(run.out, unfinished);
        ASSERT_EQ(records.size(), 2u) << run.out;
        EXPECT_TRUE(records[0]["ok"]) << records[0];
        EXPECT_EQ(records[1]["ok"], limit[3].empty()) << records[1];
        EXPECT_EQ(records[1].value("reason", ""), limit[3]) << records[1];
        EXPECT_NE(records[1].value("error", "").find(limit[4]), std::string::npos) << records[1];
        EXPECT_EQ(records[1].value("triangles", 0), limit[3].empty() ? 300000 : 0); // read whole within its limit
        EXPECT_EQ(run.exitCode, limit[3].empty() ? 0 : 1) << run.err;
    }
}

// The complete records are never lost or rewritten by a stop or a resume, and the last run leaves exactly one
// record per part; damaged parts get failure records naming them.
TEST(BatchTool, InterruptedAndKilledAtRandomMomentsEndsWithOneRecordPerPart)
{
#ifdef MESHPROBE_SANITIZED_TOOL
    // Once in CI, under AddressSanitizer on a loaded machine, this suite did not end within 10 minutes; the
    // tool's parts on two jobs are run end to end by the plain, Clang and Debug builds.
    GTEST_SKIP() << "the sanitized tool's batch on two jobs";
#endif
    clitest::TempDir dir, out;
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    testmesh::Soup withNaN = testmesh::box(0, 0, 0, 1, 1, 1);
    withNaN.positions[4] = std::nanf("");
    const std::string whole = clitest::binaryStl(testmesh::box(0, 0, 0, 3, 3, 3));
    // Truncated, empty, garbage, a NaN corner, and a header announcing more triangles than follow.
    const std::vector<std::string> damaged = {whole.substr(0, 120), "", std::string(700, '\x7f'),
                                              clitest::binaryStl(withNaN),
                                              whole.substr(0, 80) + std::string("\xe8\x03\0\0", 4) + whole.substr(84)};
    std::set<std::string> hostile;
    for (int i = 0; i < 300; ++i) {
        const std::string path = dir.file("part-" + std::to_string(1000 + i) + ".stl");
        const float size = std::uniform_real_distribution<float>(1, 20)(random);
        clitest::writeFile(path, i % 20 == 7 ? damaged[i / 20 % damaged.size()]
                                             : clitest::binaryStl(testmesh::box(0, 0, 0, size, size, size)));
        if (i % 20 == 7) hostile.insert(path);
    }
    const std::string output = out.file("records.jsonl");
    const int devNull = open("/dev/null", O_WRONLY);
    std::vector<json> kept;
    bool unfinished = false;
    const std::vector<int> stops = {SIGINT, SIGKILL, SIGINT, SIGKILL, 0};
    for (std::size_t run = 0; run < stops.size(); ++run) {
        std::vector<std::string> args = {"batch", dir.path, "-o", output, "--jobs", "2", "--quiet"};
        if (run > 0) args.push_back("--resume");
        const pid_t pid = clitest::spawn(clitest::toolArgv(args), devNull, devNull, {});
        if (stops[run] != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<>(20, 600)(random)));
            kill(pid, stops[run]);
        }
        // 0 or 1 when every part was done before the signal, 130 after Ctrl-C, -1 when killed (or signalled
        // before the tool had its handler in place).
        clitest::ToolResult ended;
        clitest::waitFor(pid, ended);
        const int code = ended.exitCode;
        EXPECT_TRUE(code == 0 || code == 1 || (stops[run] != 0 && (code == 130 || code == -1))) << code;
        const std::vector<json> records = recordsIn(contentOf(output), unfinished);
        ASSERT_GE(records.size(), kept.size()) << "seed " << seed;
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), records.begin())) << "seed " << seed;
        kept = records;
    }
    close(devNull);
    EXPECT_FALSE(unfinished);
    std::set<std::string> meshes, failed;
    std::set<int> indices;
    for (const json& record : kept) {
        const std::string mesh = record["mesh"];
        meshes.insert(mesh);
        indices.insert(record["index"].get<int>());
        if (record["ok"]) continue;
        failed.insert(mesh);
        EXPECT_EQ(record["reason"], "error");
        EXPECT_NE(record["error"].get<std::string>().find(mesh), std::string::npos) << record;
    }
    EXPECT_EQ(kept.size(), 300u) << "seed " << seed;
    EXPECT_EQ(meshes.size(), 300u) << "seed " << seed; // none twice
    EXPECT_EQ(failed, hostile) << "seed " << seed;
    EXPECT_TRUE(indices.size() == 300 && *indices.rbegin() == 299) << "indices 0..299, each once";
}

} // namespace
#endif
