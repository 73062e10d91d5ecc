// SPDX-License-Identifier: GPL-3.0-or-later
// The worker's take from its queue in every state it can find it without waiting: items and no
// word, items after the work is called off, and the queue closed with and without items.
#include "core/WorkQueue.h"

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

} // namespace
} // namespace besweet
