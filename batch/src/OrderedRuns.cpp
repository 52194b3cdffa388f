// SPDX-License-Identifier: MIT
// Jobs on the toolkit's parallel loop; finished results wait in a map until the calling thread, at each of
// the loop's progress turns, hands over those whose turn has come.
#include "meshprobe/detail/OrderedRuns.h"

#include <algorithm>
#include <exception>
#include <map>
#include <mutex>

#include "meshprobe/detail/ParallelFor.h"

namespace meshprobe::detail {

namespace {

/// Finished results and the calling thread's delivery of them.
class Handover {
public:
    Handover(Delivery delivery, const std::function<void(std::size_t, std::string&&)>& deliverOne)
        : order(delivery), deliver(deliverOne)
    {
    }

    /// From any thread.
    void finished(std::size_t item, std::string&& result)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        done.emplace(item, std::move(result));
    }

    /// On the calling thread: delivers every result whose turn has come. False once a delivery has thrown
    /// (the exception is kept for rethrow()).
    bool deliverReady()
    {
        while (!failure) {
            std::unique_lock<std::mutex> lock(mutex);
            const auto ready = order == Delivery::ItemOrder ? done.find(delivered) : done.begin();
            if (ready == done.end()) return true;
            const std::size_t item = ready->first;
            std::string result = std::move(ready->second);
            done.erase(ready);
            lock.unlock();
            try {
                deliver(item, std::move(result));
                ++delivered;
            } catch (...) {
                failure = std::current_exception();
            }
        }
        return false;
    }

    void rethrowDeliveryFailure() const
    {
        if (failure) std::rethrow_exception(failure);
    }

private:
    const Delivery order;
    const std::function<void(std::size_t, std::string&&)>& deliver;
    std::mutex mutex;
    std::map<std::size_t, std::string> done; // finished, waiting for their turn
    std::size_t delivered = 0;               // in item order, the next item; else the number delivered
    std::exception_ptr failure;
};

} // namespace

void runInOrder(std::size_t count, int workers, const std::function<std::string(std::size_t)>& job,
                const std::function<void(std::size_t, std::string&&)>& deliver, Delivery delivery)
{
    if (workers <= 1) {
        // One at a time on the calling thread: each result goes out as soon as it exists.
        for (std::size_t item = 0; item < count; ++item)
            deliver(item, job(item));
        return;
    }
    Handover handover(delivery, deliver);
    ParallelForOptions options;
    options.threads = workers;
    options.chunk = 1; // at most `workers` items in flight
    const ProgressSlice deliveries{[&](float) { return handover.deliverReady(); }};
    try {
        parallelFor(
            count, options,
            [&](std::size_t item, std::size_t, const ParallelStop&) { handover.finished(item, job(item)); },
            deliveries);
    } catch (...) {
        // A job failed: what finished before it still goes out, in order, before its exception. A delivery
        // that threw stopped the loop (as a cancel): its own exception goes out instead.
        handover.deliverReady();
        handover.rethrowDeliveryFailure();
        throw;
    }
    handover.deliverReady();
    handover.rethrowDeliveryFailure();
}

} // namespace meshprobe::detail
