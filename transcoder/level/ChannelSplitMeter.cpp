// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over: packets are passed by reference (no copy), in batches so the threads meet
// rarely, and at most a few batches wait, so the memory stays small however long the input is.
#include "level/ChannelSplitMeter.h"

#include "core/Text.h"
#include "core/WorkQueue.h"

#include <utility>

namespace besweet
{

namespace
{

// Small enough that the other thread finds the samples still in the cache.
constexpr std::size_t BatchBytes = 128 * 1024;
constexpr std::size_t MostWaiting = 4;

} // namespace

ChannelSplitMeter::ChannelSplitMeter(PeakMeter& meter, AVCodecID codec)
    : meter_(meter),
      codec_(codec), mine_{0, (meter.outChannels() + 1) / 2}, theirs_{(meter.outChannels() + 1) / 2,
                                                                      meter.outChannels()}
{
    if (theirs_.first < theirs_.last)
        thread_ = std::thread([this] { work(); });
}

ChannelSplitMeter::~ChannelSplitMeter()
{
    stop();
}

std::int64_t ChannelSplitMeter::add(const AVPacket& packet)
{
    const std::int64_t frames =
        meter_.addPacket(codec_, packet.data, static_cast<std::size_t>(packet.size), mine_);
    if (!thread_.joinable())
        return frames;
    PacketPtr reference = makePacket();
    check(av_packet_ref(reference.get(), &packet), text("out of memory"));
    batch_.push_back(std::move(reference));
    batchBytes_ += static_cast<std::size_t>(packet.size);
    if (batchBytes_ >= BatchBytes)
        hand(std::exchange(batch_, {}));
    return frames;
}

void ChannelSplitMeter::finish()
{
    if (!thread_.joinable())
        return;
    if (!batch_.empty())
        hand(std::exchange(batch_, {}));
    endWorker(mutex_, changed_, noMore_, thread_);
    if (failure_)
        std::rethrow_exception(failure_);
}

void ChannelSplitMeter::hand(Batch batch)
{
    batchBytes_ = 0;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return waiting_.size() < MostWaiting || failure_; });
    // The other thread has stopped: no use reading on.
    if (failure_)
        std::rethrow_exception(failure_);
    waiting_.push_back(std::move(batch));
    lock.unlock();
    changed_.notify_all();
}

void ChannelSplitMeter::work()
{
    try {
        for (;;) {
            const std::optional<Batch> batch =
                takeNext(waiting_, mutex_, changed_, stopping_, noMore_);
            if (!batch)
                return;
            changed_.notify_all();
            for (const PacketPtr& packet : *batch)
                meter_.addPacket(codec_, packet->data, static_cast<std::size_t>(packet->size),
                                 theirs_);
        }
    } catch (...) {
        std::lock_guard lock(mutex_);
        failure_ = std::current_exception();
        changed_.notify_all();
    }
}

void ChannelSplitMeter::stop()
{
    if (thread_.joinable())
        endWorker(mutex_, changed_, stopping_, thread_);
}

} // namespace besweet
