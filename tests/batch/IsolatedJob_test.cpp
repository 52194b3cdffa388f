// SPDX-License-Identifier: MIT
// A batch part in a child process: its answer comes back whole, and whatever else the part does (crash,
// hang, runaway allocation, silent exit) becomes an outcome the caller records, never the caller's end.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <unistd.h>
#include <vector>

#include "meshprobe/Error.h"
#include "batch/src/IsolatedJob.h"

// The memory limit is an address-space limit, which sanitizers' shadow memory rules out.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MEMORY_LIMITED 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define MEMORY_LIMITED 0
#endif
#endif
#ifndef MEMORY_LIMITED
#define MEMORY_LIMITED 1
#endif

namespace {

using meshprobe::PartLimits;
using meshprobe::detail::IsolatedOutcome;
using meshprobe::detail::runIsolated;
using Kind = IsolatedOutcome::Kind;

struct Behaviour {
    const char* name;
    std::function<std::string()> job;
    PartLimits limits;
    Kind kind;
    std::string text; // the answer for Done, part of the description for Crash
};

std::ostream& operator<<(std::ostream& os, const Behaviour& c)
{
    return os << c.name;
}

#if MEMORY_LIMITED
std::string allocateForever()
{
    std::vector<std::vector<char>> blocks;
    for (;;)
        blocks.emplace_back(std::size_t(16) << 20, 'x');
}
#endif

class IsolatedJobEnds : public ::testing::TestWithParam<Behaviour> {};

TEST_P(IsolatedJobEnds, AsTheChildDid)
{
    const auto start = std::chrono::steady_clock::now();
    const IsolatedOutcome outcome = runIsolated(GetParam().job, GetParam().limits, {});
    EXPECT_EQ(outcome.kind, GetParam().kind) << outcome.text;
    if (GetParam().kind == Kind::Done)
        EXPECT_EQ(outcome.text, GetParam().text);
    else
        EXPECT_NE(outcome.text.find(GetParam().text), std::string::npos) << outcome.text;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

INSTANTIATE_TEST_SUITE_P(
    Behaviours, IsolatedJobEnds,
    ::testing::Values(
        Behaviour{"Answers", [] { return std::string("{\"ok\":true}"); }, {}, Kind::Done, "{\"ok\":true}"},
        Behaviour{"AnswersNothing", [] { return std::string(); }, {}, Kind::Done, ""},
        // Longer than a pipe holds: the parent must read while the child writes.
        Behaviour{
            "AnswersAtLength", [] { return std::string(1 << 20, 'r'); }, {}, Kind::Done, std::string(1 << 20, 'r')},
        Behaviour{"Segfaults", [] { return std::raise(SIGSEGV), std::string(); }, {}, Kind::Crash, "SIGSEGV"},
        Behaviour{"Aborts", []() -> std::string { std::abort(); }, {}, Kind::Crash, "SIGABRT"},
        Behaviour{"Exits", []() -> std::string { _exit(3); }, {}, Kind::Crash, "exit status 3"},
        Behaviour{"Throws", []() -> std::string { throw std::runtime_error("no"); }, {}, Kind::Crash, "exit status 2"},
        Behaviour{"Hangs",
                  [] {
                      std::this_thread::sleep_for(std::chrono::seconds(30));
                      return std::string();
                  },
                  {0.3, 0},
                  Kind::Timeout,
                  ""}
#if MEMORY_LIMITED
        ,
        Behaviour{"AllocatesWithoutEnd", allocateForever, {0.0, 64u << 20}, Kind::Memory, ""}
#endif
        ),
    [](const ::testing::TestParamInfo<Behaviour>& param) { return std::string(param.param.name); });

TEST(IsolatedJob, ACancelledCallerKillsTheChildAtOnce)
{
    int polls = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(runIsolated(
                     [] {
                         std::this_thread::sleep_for(std::chrono::seconds(30));
                         return std::string();
                     },
                     {}, [&polls](float) { return ++polls < 3; }),
                 meshprobe::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

} // namespace
