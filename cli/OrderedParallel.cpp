// SPDX-License-Identifier: MIT
// Worker threads take the next item from a shared counter; the caller delivers finished results.
#include "cli/OrderedParallel.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace cli {

void runInOrder(std::size_t count, int workers, const std::function<std::string(std::size_t)>& job,
                const std::function<void(std::size_t, std::string&&)>& deliver, Delivery delivery)
{
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t nextItem = 0;
    std::size_t running = 0;
    std::map<std::size_t, std::string> done; // finished, waiting for an earlier item
    std::exception_ptr failure;

    auto work = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        while (!failure && nextItem < count) {
            const std::size_t item = nextItem++;
            ++running;
            lock.unlock();
            std::string result;
            std::exception_ptr error;
            try {
                result = job(item);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            --running;
            if (error) {
                if (!failure) failure = error;
            } else {
                done.emplace(item, std::move(result));
            }
            finished.notify_one();
        }
    };

    const std::size_t threadCount = std::min<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), count);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < threadCount; ++t)
        threads.emplace_back(work);

    std::exception_ptr deliveryFailure;
    std::size_t nextDelivery = 0; // in item order, the next item; else the number delivered
    const auto deliverable = [&] { return delivery == Delivery::ItemOrder ? done.find(nextDelivery) : done.begin(); };
    std::unique_lock<std::mutex> lock(mutex);
    while (nextDelivery < count) {
        finished.wait(lock, [&] { return deliverable() != done.end() || (failure && running == 0); });
        const auto ready = deliverable();
        if (ready == done.end()) break; // a job failed and nothing deliverable is left
        const std::size_t item = ready->first;
        std::string result = std::move(ready->second);
        done.erase(ready);
        lock.unlock();
        try {
            deliver(item, std::move(result));
        } catch (...) {
            deliveryFailure = std::current_exception();
        }
        lock.lock();
        if (deliveryFailure) {
            if (!failure) failure = deliveryFailure;
            break;
        }
        ++nextDelivery;
    }
    lock.unlock();
    for (std::thread& thread : threads)
        thread.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace cli
