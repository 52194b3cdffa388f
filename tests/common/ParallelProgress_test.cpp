// SPDX-License-Identifier: MIT
// The rescaling wrapper and the progress protocol of parallel phases: exact report sequences,
// cancellation from the callback, and silence with an empty callback.
#include "common/ParallelProgress.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <type_traits>
#include <stdexcept>
#include <vector>

#include "common/HostMesh.h"

namespace {

using namespace meshprobe::common;

// Runs `items` iterations as a dynamic, chunk-1 parallel loop on `threads` threads; returns how many
// work items ran.
// With `itemTime`, each work item sleeps that long, so that every thread gets a share of the items.
int runPhase(ParallelProgress& phase, int items, int threads,
             std::chrono::microseconds itemTime = std::chrono::microseconds(0))
{
    std::atomic<int> done{0};
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (int i = 0; i < items; ++i) {
        if (!phase.step()) continue;
        if (itemTime.count() > 0) std::this_thread::sleep_for(itemTime);
        done.fetch_add(1);
    }
    return done.load();
}

// Both wrappers keep the caller's callback by reference, so a temporary callback must not compile.
static_assert(!std::is_constructible<ProgressRescaler, ProgressCallback, double, double>::value, "temporary target");
static_assert(std::is_constructible<ProgressRescaler, const ProgressCallback&, double, double>::value, "named target");
static_assert(!std::is_constructible<ParallelProgress, ProgressCallback, int, int>::value, "temporary callback");

TEST(ProgressRescaler, TruncatesTowardZeroInDouble)
{
    std::vector<int> seen;
    ProgressCallback host = [&](int p) { seen.push_back(p); };
    ProgressRescaler phase2(host, 0.5, 30);
    // The inner callback is a named object: the wrapper refers to it, so it must outlive the wrapper.
    const ProgressCallback inner = phase2.callback();
    ProgressRescaler nested(inner, 0.5, 50);
    nested(0);
    nested(33);  // (int)(33 * 0.5 + 50) = 66, then (int)(66 * 0.5 + 30) = 63
    nested(99);  // 99 -> 99 -> 79
    phase2(-3);  // -1.5 + 30 = 28.5 -> 28
    EXPECT_EQ(seen, (std::vector<int>{55, 63, 79, 28}));
}

TEST(ProgressRescaler, EmptyTargetStaysSilent)
{
    ProgressCallback none;
    ProgressRescaler wrapper(none, 0.3, 0);
    EXPECT_FALSE(static_cast<bool>(wrapper.callback()));
    wrapper(50); // must not throw std::bad_function_call
}

TEST(ParallelProgress, OneThreadReportsEveryOwnerIteration)
{
    std::vector<int> seen;
    ProgressCallback progress = [&](int p) { seen.push_back(p); };
    ParallelProgress phase(progress, 1, 50);
    EXPECT_EQ(runPhase(phase, 50, 1), 50);
    EXPECT_NO_THROW(phase.finish());
    std::vector<int> expected;
    for (int v = 0; v < 100; v += 2)
        expected.push_back(v);
    EXPECT_EQ(seen, expected);
}

TEST(ParallelProgress, ThroughTheFirstPhaseWrapper)
{
    std::vector<int> seen;
    ProgressCallback host = [&](int p) { seen.push_back(p); };
    ProgressRescaler phase1(host, 0.3, 0);
    const ProgressCallback wrapped = phase1.callback();
    ParallelProgress phase(wrapped, 1, 50);
    runPhase(phase, 50, 1);
    ASSERT_EQ(seen.size(), 50u);
    const std::vector<int> head(seen.begin(), seen.begin() + 11);
    EXPECT_EQ(head, (std::vector<int>{0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 6}));
    EXPECT_EQ(seen[47], 28);
    EXPECT_EQ(seen[48], 28);
    EXPECT_EQ(seen[49], 29);
}

TEST(ParallelProgress, ReportsOnlyOnTheOwnerThread)
{
    const auto owner = std::this_thread::get_id();
    std::atomic<int> foreign{0};
    std::vector<int> seen;
    ProgressCallback progress = [&](int p) {
        if (std::this_thread::get_id() != owner) foreign.fetch_add(1);
        seen.push_back(p);
    };
    ParallelProgress phase(progress, 2, 200);
    EXPECT_EQ(runPhase(phase, 200, 2, std::chrono::microseconds(200)), 200);
    EXPECT_EQ(foreign.load(), 0);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], static_cast<int>(static_cast<float>(i) * 1.0f)); // scale = 2 * 100 / 200
}

TEST(ParallelProgress, ThrowOnFirstReportStopsBeforeAnyWorkOnOneThread)
{
    int calls = 0;
    ProgressCallback progress = [&](int) {
        ++calls;
        throw Kel::AbortException();
    };
    ParallelProgress phase(progress, 1, 50);
    EXPECT_EQ(runPhase(phase, 50, 1), 0);
    // A callback that keeps throwing is asked again on every later owner iteration.
    EXPECT_EQ(calls, 50);
    EXPECT_THROW(phase.finish(), Kel::AbortException);
}

TEST(ParallelProgress, AnyExceptionTypeBecomesAnAbort)
{
    ProgressCallback progress = [](int p) {
        if (p >= 10) throw std::runtime_error("host gave up");
    };
    ParallelProgress phase(progress, 1, 100);
    // Reports 0..9 pass, the report of 10 throws before the 11th item.
    EXPECT_EQ(runPhase(phase, 100, 1), 10);
    EXPECT_THROW(phase.finish(), Kel::AbortException);
}

TEST(ParallelProgress, TwoThreadsStopSoonAfterTheThrow)
{
    ProgressCallback progress = [](int p) {
        if (p > 0) throw Kel::AbortException();
    };
    // scale 0.1: the owner's eleventh report (value 1) throws; the other thread may finish the item it holds
    // and skips the rest.
    ParallelProgress phase(progress, 2, 2000);
    const int done = runPhase(phase, 2000, 2, std::chrono::microseconds(50));
    EXPECT_LT(done, 2000);
    EXPECT_THROW(phase.finish(), Kel::AbortException);
}

TEST(ParallelProgress, EmptyCallbackReportsNothingAndCannotStop)
{
    ProgressCallback none;
    ParallelProgress phase(none, 2, 100);
    EXPECT_EQ(runPhase(phase, 100, 2), 100);
    EXPECT_NO_THROW(phase.finish());
}

TEST(ParallelProgress, EmptyMeasureReportsZero)
{
    std::vector<int> seen;
    ProgressCallback progress = [&](int p) { seen.push_back(p); };
    ParallelProgress phase(progress, 2, 0);
    runPhase(phase, 3, 1);
    EXPECT_EQ(seen, (std::vector<int>{0, 0, 0}));
}

} // namespace
