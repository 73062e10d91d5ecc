// SPDX-License-Identifier: GPL-3.0-or-later
// Owning handles for the FFmpeg objects the transcoder uses, and the error type that carries
// FFmpeg's own text for a failed call.
#pragma once

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
// compound literal).
std::string avErrorText(int code);

// Notes an error message FFmpeg logged on this thread (one line, no component prefix): a failure
// whose code says nothing (EINVAL, an internal code) gives it as its reason.
void noteLibraryError(std::string_view message);

// Why a call failed, for a message: FFmpeg's text for the code, or the error it logged on this
// thread where the code says nothing more than "invalid argument".
std::string failureReason(int code);

// A failure of the work (exit code 1); what() is the whole message after "besweet: ".
class WorkError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Throws WorkError "<what>: <FFmpeg's text>" when code is negative; returns code otherwise.
int check(int code, const std::string& what);

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

[[nodiscard]] FramePtr makeFrame();
[[nodiscard]] PacketPtr makePacket();

} // namespace besweet
