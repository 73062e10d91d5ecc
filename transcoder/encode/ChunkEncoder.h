// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding on both cores: the stream is cut into chunks of whole encoder frames, each chunk is
// encoded by a fresh encoder of its own on one of a few workers, and the packets are written
// strictly in chunk order.
//
// An encoder carries state from frame to frame (the transform's overlap, the filter bank, the
// psychoacoustic model), so a chunk's encoder first gets a few frames from before the chunk (the
// lead-in), whose packets are dropped: by the chunk's first frame it is where one encoder running
// through the whole stream would be. A chunk's encoder is not flushed (that would pad its last
// frame); it gets frames from past the chunk's end (the run-out) until it has given a packet for
// each frame of the chunk. Only the last chunk is flushed, as a single encoder is at the end.
//
// Memory stays bounded: the cutter keeps one chunk and its margins, and only so many chunks are
// on their way (queued, encoding or waiting for their turn to be written) at once.
#pragma once

#include "core/Av.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace besweet
{

struct Chunk {
    std::int64_t number = 0;      // the order of writing
    std::vector<FramePtr> frames; // lead-in, the chunk's own, run-out
    int leadIn = 0;               // frames before the chunk's own
    int own = 0;                  // the chunk's own frames, one packet each
    bool last = false;            // flushed at the end; every packet after the lead-in is kept
};

class ChunkEncoder
{
public:
    using OpenEncoder = std::function<CodecContextPtr()>;
    using WritePacket = std::function<void(AVPacket&)>;

    // name: the output, for messages. openEncoder is called on the workers, once per chunk;
    // writePacket on whichever worker writes, one at a time and in order.
    ChunkEncoder(std::string name, int workers, std::size_t onTheirWay, OpenEncoder openEncoder,
                 WritePacket writePacket);
    ChunkEncoder(const ChunkEncoder&) = delete;
    ChunkEncoder& operator=(const ChunkEncoder&) = delete;
    // Stops the workers; chunks not yet written are dropped.
    ~ChunkEncoder();

    // Waits while too many chunks are on their way; throws a worker's failure.
    void submit(Chunk chunk);
    // Waits until every chunk submitted is written; throws a worker's failure.
    void finish();

private:
    void work();
    [[nodiscard]] std::vector<PacketPtr> encode(const Chunk& chunk);
    void keep(std::int64_t number, std::vector<PacketPtr> packets);
    void writeInOrder();
    void fail(std::exception_ptr error);
    void stopWorkers();
    void rethrowFailure();

    std::string name_;
    std::size_t onTheirWay_;
    OpenEncoder openEncoder_;
    WritePacket writePacket_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Chunk> queued_;
    std::map<std::int64_t, std::vector<PacketPtr>> encoded_; // waiting for their turn
    std::int64_t submitted_ = 0;
    std::int64_t written_ = 0;
    bool closed_ = false;
    std::atomic<bool> cancelled_ = false;
    std::exception_ptr failure_;
    bool writing_ = false; // one writer at a time
    std::vector<std::thread> workers_;
};

// Cuts the stream of frames into chunks and submits them: a chunk goes once its run-out is
// there, so the last chunk always has frames of its own.
class ChunkCutter
{
public:
    ChunkCutter(ChunkEncoder& encoder, int chunkFrames, int leadIn, int runOut);

    void add(FramePtr frame);
    // Submits what is left as the last chunk.
    void finish();

private:
    void submit(std::int64_t end, bool last);

    ChunkEncoder& encoder_;
    int chunkFrames_;
    int leadIn_;
    int runOut_;
    std::deque<FramePtr> frames_; // the next chunk with its margins
    std::int64_t firstFrame_ = 0; // the number of frames_.front() in the stream
    std::int64_t nextChunk_ = 0;
};

} // namespace besweet
