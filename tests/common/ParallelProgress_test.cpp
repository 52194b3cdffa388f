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
    nested(33); // (int)(33 * 0.5 + 50) = 66, then (int)(66 * 0.5 + 30) = 63
    nested(99); // 99 -> 99 -> 79
    phase2(-3); // -1.5 + 30 = 28.5 -> 28
    EXPECT_EQ(seen, (std::vector<int>{55, 63, 79, 28}));
}

TEST(ProgressRescaler, EmptyTargetStaysSilent)
{
    ProgressCallback none;
    ProgressRescaler wrapper(none, 0.3, 0);
    EXPECT_FALSE(static_cast<bool>(wrapper.callback()));
    wrapper(50); // must not throw std::bad_function_call
}

// One thread: every iteration reports (int)(counter * threadCount * 100 / total) and counts the report; a
// throwing callback (any exception type) stops the items from its report on, is asked again on every later
// iteration, and finish() then throws an abort; an empty callback reports nothing and cannot stop.
struct SequenceCase {
    const char* name;
    int threadCount;
    int total;
    int items;
    int throwFrom; ///< the callback throws for reports >= this (-1: never; -2: no callback at all)
    std::vector<int> reports;
    int done;
};

TEST(ParallelProgress, OneThreadSequences)
{
    std::vector<int> even;
    for (int v = 0; v < 100; v += 2)
        even.push_back(v);
    std::vector<int> tenths;
    for (int v = 0; v <= 10; ++v)
        tenths.push_back(v);
    const SequenceCase cases[] = {{"every owner iteration", 1, 50, 50, -1, even, 50},
                                  {"thread count scales", 2, 100, 50, -1, even, 50},
                                  {"stop at the first report", 1, 50, 3, 0, {0, 0, 0}, 0},
                                  {"stop at ten", 1, 100, 100, 10, tenths, 10},
                                  {"empty measure", 2, 0, 3, -1, {0, 0, 0}, 3},
                                  {"no callback", 1, 100, 100, -2, {}, 100}};
    for (const SequenceCase& c : cases) {
        std::vector<int> seen;
        ProgressCallback progress;
        if (c.throwFrom != -2)
            progress = [&](int p) {
                seen.push_back(p);
                if (c.throwFrom >= 0 && p >= c.throwFrom) throw std::runtime_error("host gave up");
            };
        ParallelProgress phase(progress, c.threadCount, c.total);
        EXPECT_EQ(runPhase(phase, c.items, 1), c.done) << c.name;
        std::vector<int> expected = c.reports;
        if (c.throwFrom >= 0) expected.resize(static_cast<std::size_t>(c.items), expected.back());
        EXPECT_EQ(seen, expected) << c.name;
        if (c.done < c.items)
            EXPECT_THROW(phase.finish(), Kel::AbortException) << c.name;
        else
            EXPECT_NO_THROW(phase.finish()) << c.name;
    }
}

// Two threads: only the owner reports, with the counter of its own reports; a throw stops the other
// thread soon after (it may finish the item it holds).
TEST(ParallelProgress, TwoThreadsReportOnTheOwnerAndStopTogether)
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
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], static_cast<int>(i)); // scale = 2 * 100 / 200

    ProgressCallback stopper = [](int p) {
        if (p > 0) throw Kel::AbortException();
    };
    ParallelProgress stopped(stopper, 2, 2000); // scale 0.1: the owner's eleventh report throws
    EXPECT_LT(runPhase(stopped, 2000, 2, std::chrono::microseconds(50)), 2000);
    EXPECT_THROW(stopped.finish(), Kel::AbortException);
}

} // namespace
