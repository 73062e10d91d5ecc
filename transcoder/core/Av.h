// SPDX-License-Identifier: GPL-3.0-or-later
// Owning handles for the FFmpeg objects the transcoder uses, the error type of a failed run,
// and FFmpeg's error codes as plain reasons of ours.
#pragma once

#include "core/Text.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

namespace besweet
{

// FFmpeg's description of an error code, like av_err2str (which C++ cannot use, being a
// compound literal). English, for the log only: a person gets avReason.
std::string avErrorText(int code);

// Notes an error message FFmpeg logged on this thread (one line, no component prefix): a failure
// whose code says nothing (EINVAL, an internal code) gives it in the log as its reason.
void noteLibraryError(std::string_view message);

// An error code of FFmpeg's as a plain reason a person can act on ("no audio data recognised",
// "damaged data"); its English form adds FFmpeg's own text for the log.
[[nodiscard]] Text avReason(int code);
// The same for a code from reading a file's header and setting up its decoder: one that says
// nothing of its own (the library refusing values no file has) is a damaged header.
[[nodiscard]] Text headerReason(int code);
// "damaged data at 00:01:02.3", seconds from the start of the input.
[[nodiscard]] Text damagedDataAt(double seconds);

// A failure of the work (exit code 1). message() is the whole message after "besweet: ", in
// English (for the log; also what()) and translated (for the screen).
class WorkError : public std::runtime_error
{
public:
    explicit WorkError(Text message)
        : std::runtime_error(message.english), message_(std::move(message))
    {
    }
    [[nodiscard]] const Text& message() const { return message_; }

private:
    Text message_;
};

// Throws WorkError "<what>: <reason>" when code is negative; returns code otherwise.
int check(int code, const Text& what);

// The same for calls made once per packet: the message is only put together on failure.
template <typename Describe> int checkEach(int code, Describe&& describe)
{
    if (code < 0)
        check(code, describe());
    return code;
}

struct InputFormatDeleter {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct OutputFormatDeleter {
    void operator()(AVFormatContext* ctx) const { avformat_free_context(ctx); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwrDeleter {
    void operator()(SwrContext* swr) const { swr_free(&swr); }
};
struct FifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
struct BufferPoolDeleter {
    // The pool goes once the last of its buffers is back.
    void operator()(AVBufferPool* pool) const { av_buffer_pool_uninit(&pool); }
};
struct IoContextDeleter {
    void operator()(AVIOContext* io) const
    {
        if (io)
            av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatDeleter>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolDeleter>;

[[nodiscard]] FramePtr makeFrame();
[[nodiscard]] PacketPtr makePacket();

// Hands every packet the encoder has ready to `take`, in order; an error other than "nothing
// yet" or "no more" is thrown, described by `failed`.
template <typename Take, typename Describe>
void receivePackets(AVCodecContext& encoder, Take&& take, Describe&& failed)
{
    for (;;) {
        PacketPtr packet = makePacket();
        const int got = avcodec_receive_packet(&encoder, packet.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        checkEach(got, failed);
        take(std::move(packet));
    }
}

} // namespace besweet
