// SPDX-License-Identifier: GPL-3.0-or-later
// The frame queue.
#include "encode/FrameQueue.h"

namespace besweet
{

bool FrameQueue::push(FramePtr frame)
{
    std::unique_lock lock(mutex_);
    if (filled_.size() >= capacity_)
        roomAgain_.wait(lock, [&] { return cancelled_ || filled_.size() <= capacity_ / 2; });
    if (cancelled_)
        return false;
    filled_.push_back(std::move(frame));
    if (filled_.size() == 1)
        filledOne_.notify_one();
    return true;
}

FramePtr FrameQueue::pop()
{
    std::unique_lock lock(mutex_);
    filledOne_.wait(lock, [&] { return cancelled_ || !filled_.empty(); });
    if (cancelled_)
        return nullptr;
    FramePtr frame = std::move(filled_.front());
    filled_.pop_front();
    if (filled_.size() == capacity_ / 2)
        roomAgain_.notify_one();
    return frame;
}

void FrameQueue::recycle(FramePtr frame)
{
    std::lock_guard lock(mutex_);
    empty_.push_back(std::move(frame));
}

FramePtr FrameQueue::reuse()
{
    std::lock_guard lock(mutex_);
    if (empty_.empty())
        return nullptr;
    FramePtr frame = std::move(empty_.back());
    empty_.pop_back();
    return frame;
}

void FrameQueue::cancel()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    filledOne_.notify_all();
    roomAgain_.notify_all();
}

bool FrameQueue::cancelled() const
{
    std::lock_guard lock(mutex_);
    return cancelled_;
}

} // namespace besweet
