// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over between the thread that decodes and resamples and the thread that encodes:
// a short queue of filled frames one way, emptied frames back the other way for reuse, so the
// memory stays the same however long the input is.
#pragma once

#include "core/Av.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

namespace besweet
{

class FrameQueue
{
public:
    explicit FrameQueue(std::size_t capacity) : capacity_(capacity) {}

    // Waits for room (when full, until it is half empty: each side then works for a while
    // before waking the other); a null frame says "no more". Returns false once cancelled.
    [[nodiscard]] bool push(FramePtr frame);
    // Waits for a frame; null for "no more" and once cancelled.
    [[nodiscard]] FramePtr pop();

    // A frame the encoder is done with, and taking one back (null when there is none yet).
    void recycle(FramePtr frame);
    [[nodiscard]] FramePtr reuse();

    // Wakes and stops both sides.
    void cancel();
    [[nodiscard]] bool cancelled() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable filledOne_; // the encoder may wait for this
    std::condition_variable roomAgain_; // the producer may wait for this
    std::deque<FramePtr> filled_;
    std::vector<FramePtr> empty_;
    std::size_t capacity_;
    bool cancelled_ = false;
};

} // namespace besweet
