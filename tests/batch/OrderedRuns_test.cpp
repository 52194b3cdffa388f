// SPDX-License-Identifier: MIT
// The batch's runner: results in item order whatever order the jobs finish in, at most `workers` jobs at a
// time, and a failing job that stops new items but lets earlier results through.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "meshprobe/detail/OrderedRuns.h"

namespace {

using namespace std::chrono_literals;

/// Jobs whose finishing order is scrambled: item i sleeps (7 * i mod 5) milliseconds.
std::string scrambled(std::size_t item)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(7 * item % 5));
    return "part " + std::to_string(item);
}

TEST(OrderedRuns, DeliversEveryResultInItemOrderForAnyWorkerCount)
{
    for (int workers : {1, 2, 3, 8, 64}) {
        std::vector<std::size_t> order;
        std::vector<std::string> results;
        meshprobe::detail::runInOrder(20, workers, scrambled, [&](std::size_t item, std::string&& result) {
            order.push_back(item);
            results.push_back(std::move(result));
        });
        ASSERT_EQ(order.size(), 20u) << workers << " workers";
        for (std::size_t i = 0; i < order.size(); ++i) {
            EXPECT_EQ(order[i], i) << workers << " workers";
            EXPECT_EQ(results[i], "part " + std::to_string(i));
        }
    }
}

TEST(OrderedRuns, RunsAtMostWorkersJobsAtATimeAndUsesThemAll)
{
    std::atomic<int> inFlight{0}, mostInFlight{0};
    meshprobe::detail::runInOrder(
        24, 3,
        [&](std::size_t) {
            const int now = ++inFlight;
            for (int seen = mostInFlight; now > seen && !mostInFlight.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::sleep_for(5ms);
            --inFlight;
            return std::string();
        },
        [](std::size_t, std::string&&) {});
    EXPECT_EQ(mostInFlight.load(), 3);
}

TEST(OrderedRuns, AFailingJobStopsNewItemsDeliversEarlierOnesAndRethrows)
{
    std::atomic<std::size_t> started{0};
    std::vector<std::size_t> delivered;
    EXPECT_THROW(meshprobe::detail::runInOrder(
                     100, 2,
                     [&](std::size_t item) {
                         ++started;
                         if (item == 5) throw std::runtime_error("part 5 cancelled");
                         std::this_thread::sleep_for(1ms);
                         return std::to_string(item);
                     },
                     [&](std::size_t item, std::string&&) { delivered.push_back(item); }),
                 std::runtime_error);
    EXPECT_EQ(delivered, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_LE(started.load(), 8u); // the items in flight when 5 failed, not the other 90-odd
}

TEST(OrderedRuns, AFailingDeliveryStopsTheRun)
{
    std::atomic<std::size_t> started{0};
    EXPECT_THROW(meshprobe::detail::runInOrder(
                     100, 2,
                     [&](std::size_t) {
                         ++started;
                         std::this_thread::sleep_for(1ms);
                         return std::string();
                     },
                     [](std::size_t item, std::string&&) {
                         if (item == 3) throw std::runtime_error("cannot write");
                     }),
                 std::runtime_error);
    EXPECT_LT(started.load(), 100u);
}

TEST(OrderedRuns, InCompletionOrderASlowItemHoldsNothingBack)
{
    // Item 0 takes long; with two workers the other 19 all finish, and are delivered, before it.
    std::vector<std::size_t> order;
    meshprobe::detail::runInOrder(
        20, 2,
        [](std::size_t item) {
            std::this_thread::sleep_for(item == 0 ? 200ms : 1ms);
            return "part " + std::to_string(item);
        },
        [&](std::size_t item, std::string&& result) {
            EXPECT_EQ(result, "part " + std::to_string(item));
            order.push_back(item);
        },
        meshprobe::detail::Delivery::Completion);
    ASSERT_EQ(order.size(), 20u);
    EXPECT_EQ(order.back(), 0u);
    std::sort(order.begin(), order.end());
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(order[i], i); // each item once
}

TEST(OrderedRuns, InCompletionOrderAFailingJobStillDeliversTheItemsDone)
{
    std::vector<std::size_t> delivered;
    EXPECT_THROW(meshprobe::detail::runInOrder(
                     50, 2,
                     [](std::size_t item) {
                         if (item == 0) {
                             std::this_thread::sleep_for(50ms);
                             throw std::runtime_error("part 0 cancelled");
                         }
                         return std::string();
                     },
                     [&](std::size_t item, std::string&&) { delivered.push_back(item); },
                     meshprobe::detail::Delivery::Completion),
                 std::runtime_error);
    EXPECT_FALSE(delivered.empty()); // the other worker's items went out while item 0 ran
    EXPECT_EQ(std::count(delivered.begin(), delivered.end(), 0u), 0);
}

TEST(OrderedRuns, NothingToDoCallsNothing)
{
    bool called = false;
    meshprobe::detail::runInOrder(
        0, 4,
        [&](std::size_t) {
            called = true;
            return std::string();
        },
        [&](std::size_t, std::string&&) { called = true; });
    EXPECT_FALSE(called);
}

} // namespace
