// SPDX-License-Identifier: GPL-3.0-or-later
// The chunk encoder and the cutter that feeds it.
#include "encode/ChunkEncoder.h"

#include "cli/Interrupt.h"
#include "core/WorkQueue.h"

#include <algorithm>

namespace besweet
{

ChunkEncoder::ChunkEncoder(std::string name, int workers, std::size_t onTheirWay,
                           OpenEncoder openEncoder, WritePacket writePacket)
    : name_(std::move(name)), onTheirWay_(std::max<std::size_t>(onTheirWay, 1)),
      openEncoder_(std::move(openEncoder)), writePacket_(std::move(writePacket))
{
    try {
        for (int i = 0; i < std::max(workers, 1); ++i)
            workers_.emplace_back([this] { work(); });
    } catch (...) {
        stopWorkers();
        throw;
    }
}

ChunkEncoder::~ChunkEncoder()
{
    stopWorkers();
}

void ChunkEncoder::stopWorkers()
{
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_)
        if (worker.joinable())
            worker.join();
}

void ChunkEncoder::submit(Chunk chunk)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
        return cancelled_ || static_cast<std::size_t>(submitted_ - written_) < onTheirWay_;
    });
    if (cancelled_) {
        lock.unlock();
        rethrowFailure();
        throw WorkError(text("%s: encoding stopped", name_));
    }
    chunk.number = submitted_++;
    queued_.push_back(std::move(chunk));
    lock.unlock();
    changed_.notify_all();
}

void ChunkEncoder::finish()
{
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    // A signal while the last chunks were encoded stops the run here, not after the commit.
    stopWhenInterrupted();
    rethrowFailure();
    if (written_ != submitted_)
        throw WorkError(text("%s: encoding stopped", name_));
}

void ChunkEncoder::rethrowFailure()
{
    std::lock_guard lock(mutex_);
    if (failure_)
        std::rethrow_exception(failure_);
}

void ChunkEncoder::fail(std::exception_ptr error)
{
    {
        std::lock_guard lock(mutex_);
        if (!failure_)
            failure_ = std::move(error);
        cancelled_ = true;
    }
    changed_.notify_all();
}

// A worker: takes queued chunks until there are no more, or the work is called off.
void ChunkEncoder::work()
{
    for (;;) {
        const std::optional<Chunk> next = takeNext(queued_, mutex_, changed_, cancelled_, closed_);
        if (!next)
            return;
        const Chunk& chunk = *next;
        try {
            std::vector<PacketPtr> packets = encode(chunk);
            if (cancelled_)
                return;
            keep(chunk.number, std::move(packets));
            writeInOrder();
        } catch (...) {
            fail(std::current_exception());
            return;
        }
    }
}

std::vector<PacketPtr> ChunkEncoder::encode(const Chunk& chunk)
{
    CodecContextPtr encoder = openEncoder_();
    std::vector<PacketPtr> kept;
    std::int64_t received = 0;
    const std::int64_t wanted = chunk.leadIn + chunk.own;
    const auto failed = [&] { return text("%s: encoding failed", name_); };
    const auto receive = [&] {
        receivePackets(
            *encoder,
            [&](PacketPtr packet) {
                if (received++ >= chunk.leadIn && (chunk.last || received <= wanted))
                    kept.push_back(std::move(packet));
            },
            failed);
    };
    for (const FramePtr& frame : chunk.frames) {
        if (cancelled_ || (!chunk.last && received >= wanted))
            break;
        checkEach(avcodec_send_frame(encoder.get(), frame.get()), failed);
        receive();
    }
    if (chunk.last) {
        checkEach(avcodec_send_frame(encoder.get(), nullptr), failed);
        receive();
    } else if (received < wanted && !cancelled_) {
        throw WorkError(
            text("%s: the encoder holds back more frames than a chunk's run-out", name_));
    }
    return kept;
}

void ChunkEncoder::keep(std::int64_t number, std::vector<PacketPtr> packets)
{
    std::lock_guard lock(mutex_);
    encoded_.emplace(number, std::move(packets));
}

// Writes the chunks whose turn has come. Every worker calls this after keeping a chunk: with
// nobody writing, it writes the chunk next in turn (and the ones after it that are there);
// with somebody writing, it goes back to encoding, and the writer finds the chunk, since keeping
// and looking for the next chunk happen under the same lock. Writing can take a while (the
// packets are decoded again when measured); the other worker encodes meanwhile.
void ChunkEncoder::writeInOrder()
{
    for (;;) {
        std::vector<PacketPtr> packets;
        {
            std::lock_guard lock(mutex_);
            if (writing_)
                return;
            const auto next = encoded_.find(written_);
            if (next == encoded_.end())
                return;
            packets = std::move(next->second);
            encoded_.erase(next);
            writing_ = true;
        }
        // A failure leaves writing_ set: the work is called off, and nothing more is written.
        for (const PacketPtr& packet : packets)
            writePacket_(*packet);
        {
            std::lock_guard lock(mutex_);
            ++written_;
            writing_ = false;
        }
        changed_.notify_all();
    }
}

ChunkCutter::ChunkCutter(ChunkEncoder& encoder, int chunkFrames, int leadIn, int runOut)
    : encoder_(encoder), chunkFrames_(std::max(chunkFrames, 1)), leadIn_(std::max(leadIn, 0)),
      runOut_(std::max(runOut, 1))
{
}

void ChunkCutter::add(FramePtr frame)
{
    frames_.push_back(std::move(frame));
    const std::int64_t end = (nextChunk_ + 1) * chunkFrames_;
    if (firstFrame_ + static_cast<std::int64_t>(frames_.size()) >= end + runOut_)
        submit(end + runOut_, false);
}

void ChunkCutter::finish()
{
    if (!frames_.empty())
        submit(firstFrame_ + static_cast<std::int64_t>(frames_.size()), true);
}

// Submits the next chunk with the frames up to end (its run-out included), then lets go of the
// frames that no later chunk needs.
void ChunkCutter::submit(std::int64_t end, bool last)
{
    const std::int64_t start = nextChunk_ * chunkFrames_;
    const std::int64_t from = std::max(start - leadIn_, firstFrame_);
    Chunk chunk;
    chunk.leadIn = static_cast<int>(start - from);
    chunk.own = static_cast<int>(std::min<std::int64_t>(chunkFrames_, end - start));
    chunk.last = last;
    for (std::int64_t n = from; n < end; ++n) {
        FramePtr shared(av_frame_clone(frames_[static_cast<std::size_t>(n - firstFrame_)].get()));
        if (!shared)
            throw WorkError(text("out of memory"));
        chunk.frames.push_back(std::move(shared));
    }
    encoder_.submit(std::move(chunk));
    ++nextChunk_;
    const std::int64_t stillNeeded = nextChunk_ * chunkFrames_ - leadIn_;
    while (!frames_.empty() && firstFrame_ < stillNeeded) {
        frames_.pop_front();
        ++firstFrame_;
    }
}

} // namespace besweet
