// SPDX-License-Identifier: MIT
// Reading in a child process: the mesh comes back intact, and whatever the reader does (crash, endless
// loop, runaway allocation, an error of its own, a cancelled caller) the caller gets an exception.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <unistd.h>
#include <thread>

#include "meshprobe/Error.h"
#include "toolkit/src/io/IsolatedReader.h"

namespace {

using meshprobe::Mesh;
using meshprobe::ProgressCallback;
using meshprobe::detail::ReadLimits;

TEST(IsolatedReader, SendsTheMeshBackBitForBit)
{
    Mesh sent;
    for (std::uint32_t i = 0; i < 300000; ++i) {
        sent.vertices.push_back(static_cast<float>(i) * 0.37f - 1e4f);
        sent.triangles.push_back(i * 2654435761u);
    }
    const Mesh got =
        meshprobe::detail::readIsolated("m.obj", {10.0, 1u << 30}, {}, [&](const ProgressCallback&) { return sent; });
    EXPECT_EQ(got.vertices, sent.vertices);
    EXPECT_EQ(got.triangles, sent.triangles);
}

struct Misbehaviour {
    const char* name;
    std::function<Mesh(const ProgressCallback&)> read;
    const char* expected; // part of the InputError's message; empty: Cancelled
};

std::ostream& operator<<(std::ostream& os, const Misbehaviour& c)
{
    return os << c.name;
}

class IsolatedReaderFails : public ::testing::TestWithParam<Misbehaviour> {};

TEST_P(IsolatedReaderFails, WithAnExceptionNamingTheFile)
{
    // Only the cancellation case has a caller that cancels, after 5 polls (a quarter of the time limit).
    int polls = 0;
    const ProgressCallback cancelSoon = [&polls](float) { return ++polls < 5; };
    const bool cancels = std::string(GetParam().expected).empty();
    const ProgressCallback progress = cancels ? cancelSoon : ProgressCallback();
    // The child's own output goes to its message file, never to the caller's streams.
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    try {
        meshprobe::detail::readIsolated("bad.ply", {1.0, 256u << 20}, progress, GetParam().read);
        ADD_FAILURE() << "no exception";
    } catch (const meshprobe::Cancelled&) {
        EXPECT_TRUE(cancels);
    } catch (const meshprobe::InputError& e) {
        EXPECT_FALSE(cancels) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("bad.ply: ", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find(GetParam().expected), std::string::npos) << e.what();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr(), "");
}

[[noreturn]] void spin()
{
    for (volatile unsigned i = 0;; i = i + 1) {
    }
}

INSTANTIATE_TEST_SUITE_P(
    Child, IsolatedReaderFails,
    ::testing::Values(
        Misbehaviour{"Crash",
                     [](const ProgressCallback&) -> Mesh {
                         std::raise(SIGSEGV);
                         return {};
                     },
                     "crashed"},
        Misbehaviour{"Abort", [](const ProgressCallback&) -> Mesh { std::abort(); }, "the reader"},
        Misbehaviour{"AbortAfterPrinting",
                     [](const ProgressCallback&) -> Mesh {
                         std::fputs("reading vertices\n", stdout);
                         std::fflush(stdout);
                         std::fputs("index.cpp:12: Assertion `i < n' failed.\n\n", stderr);
                         std::abort();
                     },
                     "its last message: index.cpp:12: Assertion `i < n' failed."},
        Misbehaviour{"EndlessLoop", [](const ProgressCallback&) -> Mesh { spin(); }, "did not finish within 1 s"},
        Misbehaviour{"OwnError", [](const ProgressCallback&) -> Mesh { throw meshprobe::InputError("bad.ply: odd"); },
                     "odd"},
        Misbehaviour{"Cancelled",
                     [](const ProgressCallback& report) -> Mesh {
                         for (;;) {
                             report(10.0f);
                             std::this_thread::sleep_for(std::chrono::milliseconds(10));
                         }
                     },
                     ""}),
    [](const ::testing::TestParamInfo<Misbehaviour>& param) { return std::string(param.param.name); });

/// Waits up to 3 s for a file to appear.
bool appears(const std::string& path)
{
    for (int wait = 0; wait < 1500; ++wait) {
        if (std::ifstream(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

TEST(IsolatedReader, RunsTheCallersWorkWhileTheChildReads)
{
    // A handshake through two files: the child announces itself, the caller's work answers, the child
    // returns its mesh. Run before the child starts or after it ends, one side waits in vain.
    const std::string base = ::testing::TempDir() + "isolated-reader-" + std::to_string(getpid());
    const std::string childUp = base + "-child", callerSeen = base + "-caller";
    std::remove(childUp.c_str());
    std::remove(callerSeen.c_str());
    const Mesh sent{{1.0f, 2.0f, 3.0f}, {0, 0, 0}};
    bool childSeen = false;
    const Mesh got = meshprobe::detail::readIsolated(
        "m.off", {5.0, 1u << 30}, {},
        [&](const ProgressCallback&) {
            std::ofstream(childUp) << "up";
            if (!appears(callerSeen)) throw meshprobe::InputError("m.off: the caller's work never ran");
            return sent;
        },
        [&] {
            childSeen = appears(childUp);
            std::ofstream(callerSeen) << "seen";
        });
    std::remove(childUp.c_str());
    std::remove(callerSeen.c_str());
    EXPECT_TRUE(childSeen);
    EXPECT_EQ(got.vertices, sent.vertices);
    EXPECT_EQ(got.triangles, sent.triangles);
}

TEST(IsolatedReader, RefusalOfTheCallersWorkWinsOverTheChild)
{
    // The child would run into the time limit, or would deliver a mesh: either way the caller's refusal is
    // the answer.
    for (const bool childFinishes : {false, true}) {
        try {
            meshprobe::detail::readIsolated(
                "m.off", {2.0, 1u << 30}, {},
                [childFinishes](const ProgressCallback&) -> Mesh {
                    if (childFinishes) return Mesh{{0.0f, 0.0f, 0.0f}, {0, 0, 0}};
                    spin();
                },
                [] { throw meshprobe::InputError("m.off: refused by its check"); });
            ADD_FAILURE() << "no exception";
        } catch (const meshprobe::InputError& e) {
            EXPECT_EQ(std::string(e.what()), "m.off: refused by its check");
        }
    }
}

} // namespace
