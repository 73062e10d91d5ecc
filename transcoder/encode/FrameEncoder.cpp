// SPDX-License-Identifier: GPL-3.0-or-later
// The single encoder thread and the chunked pair.
#include "encode/FrameEncoder.h"

#include "encode/ChunkEncoder.h"
#include "encode/FrameQueue.h"

#include <exception>
#include <thread>

namespace besweet
{

namespace
{

class ThreadedEncoder final : public FrameEncoder
{
public:
    ThreadedEncoder(std::string name, AVCodecContext& encoder, int frameSize, WritePacket write)
        : name_(std::move(name)), encoder_(encoder), frameSize_(frameSize),
          write_(std::move(write)), packet_(makePacket()), thread_([this] { encodeQueued(); })
    {
    }

    ~ThreadedEncoder() override
    {
        queue_.cancel();
        if (thread_.joinable())
            thread_.join();
    }

    FramePtr reuse() override { return queue_.reuse(); }

    void add(FramePtr frame) override
    {
        if (!queue_.push(std::move(frame))) {
            thread_.join();
            rethrowEncoderError();
            throw WorkError(text("%s: encoding stopped", name_));
        }
    }

    // A null frame ends the thread's work.
    void finish() override
    {
        add(nullptr);
        thread_.join();
        rethrowEncoderError();
    }

private:
    void rethrowEncoderError()
    {
        if (error_)
            std::rethrow_exception(error_);
    }

    // The encoder thread: encodes and writes what comes through the queue, then flushes the
    // encoder. A failure is kept for the other side and stops the queue.
    void encodeQueued()
    {
        try {
            while (FramePtr frame = queue_.pop()) {
                encode(frame.get());
                frame->nb_samples = frameSize_;
                queue_.recycle(std::move(frame));
            }
            if (!queue_.cancelled())
                encode(nullptr);
        } catch (...) {
            error_ = std::current_exception();
            queue_.cancel();
        }
    }

    // A null frame flushes the encoder.
    void encode(AVFrame* frame)
    {
        checkEach(avcodec_send_frame(&encoder_, frame),
                  [&] { return text("%s: encoding failed", name_); });
        for (;;) {
            const int got = avcodec_receive_packet(&encoder_, packet_.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            checkEach(got, [&] { return text("%s: encoding failed", name_); });
            write_(*packet_);
        }
    }

    std::string name_;
    AVCodecContext& encoder_;
    int frameSize_; // what a frame holds when it comes back for reuse
    WritePacket write_;
    PacketPtr packet_; // the encoder thread's
    FrameQueue queue_{32};
    std::exception_ptr error_; // set by the encoder thread before it ends
    std::thread thread_;       // last: starts once everything else is there
};

class ChunkedEncoder final : public FrameEncoder
{
public:
    ChunkedEncoder(std::string name, const Chunking& chunking, OpenEncoder open,
                   std::int64_t firstPts, int frameSize, WritePacket write)
        : write_(std::move(write)), nextPts_(firstPts), frameSize_(frameSize),
          chunks_(std::move(name), chunking.workers, chunking.onTheirWay, std::move(open),
                  [this](AVPacket& packet) { writeInTurn(packet); }),
          cutter_(chunks_, chunking.frames, chunking.leadIn, chunking.runOut)
    {
    }

    void add(FramePtr frame) override { cutter_.add(std::move(frame)); }

    void finish() override
    {
        cutter_.finish();
        chunks_.finish();
    }

private:
    // A chunk's packet, in its turn. Each chunk's encoder starts its clock afresh, so the
    // timestamps are those one encoder would have given.
    void writeInTurn(AVPacket& packet)
    {
        packet.pts = nextPts_;
        packet.dts = nextPts_;
        nextPts_ += packet.duration > 0 ? packet.duration : frameSize_;
        write_(packet);
    }

    WritePacket write_;
    std::int64_t nextPts_; // of the next packet, in the encoder's time base
    int frameSize_;
    ChunkEncoder chunks_;
    ChunkCutter cutter_;
};

} // namespace

std::unique_ptr<FrameEncoder> makeThreadedEncoder(std::string name, AVCodecContext& encoder,
                                                  int frameSize, FrameEncoder::WritePacket write)
{
    return std::make_unique<ThreadedEncoder>(std::move(name), encoder, frameSize, std::move(write));
}

std::unique_ptr<FrameEncoder> makeChunkedEncoder(std::string name, const Chunking& chunking,
                                                 FrameEncoder::OpenEncoder open,
                                                 std::int64_t firstPts, int frameSize,
                                                 FrameEncoder::WritePacket write)
{
    return std::make_unique<ChunkedEncoder>(std::move(name), chunking, std::move(open), firstPts,
                                            frameSize, std::move(write));
}

} // namespace besweet
