// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over between the thread that fills a queue and a worker thread that empties it, both
// guarded by one mutex and woken by one condition variable.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace besweet
{

// The worker's next item: waits until there is one, the work is called off (stop) or nothing
// more will come (closed). Nothing once called off, or once closed with the queue empty.
template <typename Item, typename Stop>
[[nodiscard]] std::optional<Item> takeNext(std::deque<Item>& queue, std::mutex& mutex,
                                           std::condition_variable& changed, const Stop& stop,
                                           const bool& closed)
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return stop || closed || !queue.empty(); });
    if (stop || queue.empty())
        return std::nullopt;
    std::optional<Item> item(std::move(queue.front()));
    queue.pop_front();
    return item;
}

// Raises flag (stop, or no more to come) under the lock, wakes the worker and waits for it to
// end; a worker that has ended already is not waited for.
inline void endWorker(std::mutex& mutex, std::condition_variable& changed, bool& flag,
                      std::thread& thread)
{
    {
        std::lock_guard lock(mutex);
        flag = true;
    }
    changed.notify_all();
    if (thread.joinable())
        thread.join();
}

} // namespace besweet
