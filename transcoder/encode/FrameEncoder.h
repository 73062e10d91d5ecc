// SPDX-License-Identifier: GPL-3.0-or-later
// The encode stage's two ways of encoding, behind one interface: one encoder in a thread of its
// own, fed through a frame queue, or chunks of the stream encoded side by side (ChunkEncoder.h).
// Either way the encoding runs beside the decoding and resampling, and packets come out in order.
#pragma once

#include "core/Av.h"

#include <functional>
#include <memory>
#include <string>

namespace besweet
{

class FrameEncoder
{
public:
    using WritePacket = std::function<void(AVPacket&)>;
    using OpenEncoder = std::function<CodecContextPtr()>;

    FrameEncoder() = default;
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;
    // An unfinished encoder (an error, a signal) stops its threads; what is not written is lost.
    virtual ~FrameEncoder() = default;

    // A frame the encoder is done with, to fill again; null when there is none.
    [[nodiscard]] virtual FramePtr reuse() { return nullptr; }
    // Encodes the frame in its turn; throws a failure of the encoding so far.
    virtual void add(FramePtr frame) = 0;
    // Flushes the encoding and waits until every packet is written; throws its failure.
    virtual void finish() = 0;
};

// One encoder (the stage's own, which must outlive this) in a thread of its own, taking frames
// of frameSize samples; write is called on that thread. name: the output, for messages.
[[nodiscard]] std::unique_ptr<FrameEncoder> makeThreadedEncoder(std::string name,
                                                                AVCodecContext& encoder,
                                                                int frameSize,
                                                                FrameEncoder::WritePacket write);

// Chunks of chunkFrames frames, each encoded by a fresh encoder from openEncoder on one of
// workers threads, written in order with the timestamps a single encoder would give, counted
// from firstPts in steps of frameSize where a packet does not say its duration.
struct Chunking {
    int frames = 0; // 0: no chunks, one encoder
    int leadIn = 0;
    int runOut = 0;
    int workers = 0;
    std::size_t onTheirWay = 0;
};
[[nodiscard]] std::unique_ptr<FrameEncoder>
makeChunkedEncoder(std::string name, const Chunking& chunking, FrameEncoder::OpenEncoder open,
                   std::int64_t firstPts, int frameSize, FrameEncoder::WritePacket write);

} // namespace besweet
