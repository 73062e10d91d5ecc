// SPDX-License-Identifier: GPL-3.0-or-later
// Measures PCM packets on two threads: the caller measures the first half of the output channels
// as each packet comes, a thread of its own the rest from batches of the same packets, so the
// peak pass of a stereo track takes about half as long. A mono track is measured by the caller
// alone.
#pragma once

#include "core/Av.h"
#include "level/PeakMeter.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace besweet
{

class ChannelSplitMeter
{
public:
    ChannelSplitMeter(PeakMeter& meter, AVCodecID codec);
    ChannelSplitMeter(const ChannelSplitMeter&) = delete;
    ChannelSplitMeter& operator=(const ChannelSplitMeter&) = delete;
    // Stops the other thread, measured or not (a run that stops half-way).
    ~ChannelSplitMeter();

    // Returns the number of sample frames in the packet.
    std::int64_t add(const AVPacket& packet);
    // Waits until every packet is measured; the meter's peaks are whole after it.
    void finish();

private:
    using Batch = std::vector<PacketPtr>;
    void hand(Batch batch);
    void work();
    void stop();

    PeakMeter& meter_;
    AVCodecID codec_;
    PeakMeter::Channels mine_;
    PeakMeter::Channels theirs_;
    Batch batch_;
    std::size_t batchBytes_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> waiting_;
    bool noMore_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace besweet
