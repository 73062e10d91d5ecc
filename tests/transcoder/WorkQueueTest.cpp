// SPDX-License-Identifier: GPL-3.0-or-later
// The worker's take from its queue: in every state it can find it without waiting, and a worker
// already waiting on an empty queue, woken by an item, by the close and by the call-off.
#include "core/WorkQueue.h"

#include <future>
#include <gtest/gtest.h>

namespace besweet
{
namespace
{

TEST(WorkQueue, TakesTheFirstItemUnlessCalledOffOrClosedAndEmpty)
{
    const struct {
        const char* state;
        std::deque<int> queue;
        bool stop;
        bool closed;
        std::optional<int> taken;
        std::size_t left;
    } cases[] = {
        {"items waiting", {1, 2}, false, false, 1, 1},
        {"called off with items waiting", {1, 2}, true, false, std::nullopt, 2},
        {"closed with items left", {3}, false, true, 3, 0},
        {"closed and empty", {}, false, true, std::nullopt, 0},
        {"called off and closed", {4}, true, true, std::nullopt, 1},
    };
    for (const auto& c : cases) {
        std::deque<int> queue = c.queue;
        std::mutex mutex;
        std::condition_variable changed;
        EXPECT_EQ(takeNext(queue, mutex, changed, c.stop, c.closed), c.taken) << c.state;
        EXPECT_EQ(queue.size(), c.left) << c.state;
    }
}

// A taker that found the queue empty sleeps until the filling side changes something under the
// lock and notifies; it must then see that change, and it must not return before it.
TEST(WorkQueue, AWaitingTakerIsWokenByAnItemTheCloseOrTheCallOff)
{
    enum class Wake { Item, Close, CallOff };
    const struct {
        Wake wake;
        std::optional<int> taken;
    } cases[] = {{Wake::Item, 7}, {Wake::Close, std::nullopt}, {Wake::CallOff, std::nullopt}};
    for (const auto& c : cases) {
        std::deque<int> queue;
        std::mutex mutex;
        std::condition_variable changed;
        bool stop = false;
        bool closed = false;
        auto taker = std::async(std::launch::async,
                                [&] { return takeNext(queue, mutex, changed, stop, closed); });
        // Still waiting while nothing has changed.
        ASSERT_EQ(taker.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        if (c.wake == Wake::Item) {
            {
                std::lock_guard lock(mutex);
                queue.push_back(7);
            }
            changed.notify_all();
        } else {
            std::thread none;
            endWorker(mutex, changed, c.wake == Wake::Close ? closed : stop, none);
        }
        if (taker.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the taker was not woken";
            // Wake it by hand, so that the failure does not hang the test.
            {
                std::lock_guard lock(mutex);
                stop = true;
            }
            changed.notify_all();
            continue;
        }
        EXPECT_EQ(taker.get(), c.taken);
        EXPECT_TRUE(queue.empty());
    }
}

// endWorker raises its flag before it waits, so a worker in takeNext ends and is joined.
TEST(WorkQueue, EndWorkerWakesTheWorkerAndWaitsForIt)
{
    std::deque<int> queue;
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
    bool closed = false;
    int taken = 0;
    std::thread worker([&] {
        while (takeNext(queue, mutex, changed, stop, closed))
            ++taken;
    });
    {
        std::lock_guard lock(mutex);
        queue.assign({1, 2, 3});
    }
    changed.notify_all();
    endWorker(mutex, changed, closed, worker);
    EXPECT_FALSE(worker.joinable());
    EXPECT_EQ(taken, 3) << "items queued before the close are all taken";
}

} // namespace
} // namespace besweet
