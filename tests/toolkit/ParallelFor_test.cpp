// SPDX-License-Identifier: MIT
// The toolkit's parallel runtime: every item exactly once, progress and cancellation on the calling thread
// only, the first failure rethrown after every worker has stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "meshprobe/Error.h"
#include "meshprobe/Threads.h"
#include "meshprobe/detail/ParallelFor.h"

namespace {

using meshprobe::detail::parallelFor;
using meshprobe::detail::ParallelForOptions;
using meshprobe::detail::ParallelStop;

struct Team {
    int threads;
    std::size_t chunk;
    std::size_t serialBelow;
};

class ParallelForTeams : public ::testing::TestWithParam<Team> {};

TEST_P(ParallelForTeams, EveryItemOnceAndProgressFromTheCaller)
{
    const ParallelForOptions options{GetParam().threads, GetParam().chunk, GetParam().serialBelow};
    for (const std::size_t count : {std::size_t(0), std::size_t(1), std::size_t(7), std::size_t(1000)}) {
        std::vector<std::atomic<int>> runs(count);
        const std::thread::id caller = std::this_thread::get_id();
        std::vector<float> reports;
        bool reportedElsewhere = false;
        parallelFor(count, options,
                    [&](std::size_t begin, std::size_t end, const ParallelStop&) {
                        ASSERT_LT(begin, end);
                        ASSERT_LE(end, count);
                        for (std::size_t i = begin; i < end; ++i)
                            ++runs[i];
                        std::this_thread::sleep_for(std::chrono::microseconds(50));
                    },
                    {[&](float percent) {
                         reportedElsewhere = reportedElsewhere || std::this_thread::get_id() != caller;
                         reports.push_back(percent);
                         return true;
                     },
                     10.0f, 30.0f});
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(runs[i].load(), 1) << "item " << i << " of " << count;
        EXPECT_FALSE(reportedElsewhere);
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.front(), 10.0f);
        for (std::size_t r = 1; r < reports.size(); ++r) {
            EXPECT_GE(reports[r], reports[r - 1]);
            EXPECT_LE(reports[r], 30.0f);
        }
    }
}

TEST_P(ParallelForTeams, FirstFailureRethrownAfterTheOthersStopped)
{
    const ParallelForOptions options{GetParam().threads, GetParam().chunk, GetParam().serialBelow};
    std::atomic<int> running{0};
    std::atomic<std::size_t> started{0};
    EXPECT_THROW(parallelFor(500, options,
                             [&](std::size_t begin, std::size_t, const ParallelStop&) {
                                 ++running;
                                 ++started;
                                 std::this_thread::sleep_for(std::chrono::microseconds(200));
                                 --running;
                                 if (begin >= 40) throw std::length_error("item failed");
                             }),
                 std::length_error);
    EXPECT_EQ(running.load(), 0) << "a body still ran after the call returned";
    // No further chunk starts once one failed: far fewer than all 500 items were begun.
    EXPECT_LT(started.load() * options.chunk, std::size_t(500));
}

TEST_P(ParallelForTeams, CancelStopsLongItemsAndThrows)
{
    const ParallelForOptions options{GetParam().threads, GetParam().chunk, GetParam().serialBelow};
    std::atomic<std::size_t> finished{0};
    int answers = 0;
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_THROW(parallelFor(64, options,
                             [&](std::size_t, std::size_t, const ParallelStop& stop) {
                                 // A long item that only ends early when it asks whether to stop.
                                 const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                                 while (!stop.requested() && std::chrono::steady_clock::now() < until)
                                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                 ++finished;
                             },
                             {[&](float) { return ++answers < 3; }, 0.0f, 100.0f}),
                 meshprobe::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(20));
    EXPECT_LE(finished.load(), std::size_t(std::max(1, options.threads)));
}

INSTANTIATE_TEST_SUITE_P(Teams, ParallelForTeams,
                         ::testing::Values(Team{1, 1, 0}, Team{2, 1, 0}, Team{4, 16, 0}, Team{3, 7, 0},
                                           Team{2, 1, 100000}));

TEST(ParallelFor, RefusesNegativeThreadsAndCancelsBeforeWork)
{
    bool ran = false;
    auto body = [&](std::size_t, std::size_t, const ParallelStop&) { ran = true; };
    EXPECT_THROW(parallelFor(10, {-1, 1, 0}, body), meshprobe::InputError);
    EXPECT_THROW(parallelFor(10, {2, 1, 0}, body, {[](float) { return false; }, 0.0f, 100.0f}), meshprobe::Cancelled);
    EXPECT_FALSE(ran);
    EXPECT_GE(meshprobe::defaultThreadCount(), 1);
}

} // namespace
