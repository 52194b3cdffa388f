// SPDX-License-Identifier: MIT
// Runs one job per item on a few worker threads and hands the results over in item order or as they finish.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace meshprobe::detail {

/// The order in which runInOrder hands results over.
enum class Delivery {
    ItemOrder,  ///< item i once every earlier item has been delivered (later ones wait in memory)
    Completion, ///< each item as soon as it is done
};

/// Runs job(i) for i in 0..count-1 on up to `workers` threads (at most `workers` items in flight) and
/// calls deliver(i, result) on the calling thread, in item order or as items complete. Results are short
/// texts; nothing else is kept once an item is delivered.
/// When a job throws, no further item starts; the items in flight finish (and are delivered when in order),
/// then the first exception is rethrown on the calling thread. When deliver throws, no further item starts
/// and its exception is rethrown once the items in flight have finished.
void runInOrder(std::size_t count, int workers, const std::function<std::string(std::size_t)>& job,
                const std::function<void(std::size_t, std::string&&)>& deliver,
                Delivery delivery = Delivery::ItemOrder);

} // namespace meshprobe::detail
