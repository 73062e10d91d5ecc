// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding test tones with libavcodec into an in-memory file.
#include "support/Encoded.h"

#include <cstring>
#include <memory>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace besweet::test
{

namespace
{

const char* muxerOf(const std::string& encoder)
{
    if (encoder == "ac3")
        return "ac3";
    if (encoder == "flac")
        return "flac";
    return encoder == "libmp3lame" ? "mp3" : "mp2";
}

void need(int code, const char* what)
{
    if (code < 0)
        throw std::runtime_error(std::string("test encoder: ") + what);
}

// Encodes the tone into the muxer's format through io, which the caller opens and closes.
void encodeInto(AVIOContext* io, const Tone& tone, const std::string& encoder, int kbps,
                const std::string& muxer, const std::string& muxerOptions)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.c_str());
    if (!codec)
        throw std::runtime_error("test encoder: no " + encoder);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> context(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    av_channel_layout_default(&context->ch_layout, tone.channels);
    context->sample_rate = tone.rate;
    context->sample_fmt = codec->sample_fmts[0];
    context->bit_rate = static_cast<std::int64_t>(kbps) * 1000;
    context->time_base = AVRational{1, tone.rate};
    need(avcodec_open2(context.get(), codec, nullptr), "open");

    AVFormatContext* raw = nullptr;
    need(avformat_alloc_output_context2(&raw, nullptr, muxer.c_str(), nullptr), "muxer");
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(
        raw, [](AVFormatContext* f) { avformat_free_context(f); });
    AVStream* stream = avformat_new_stream(raw, nullptr);
    need(stream ? 0 : -1, "stream");
    need(avcodec_parameters_from_context(stream->codecpar, context.get()), "parameters");
    stream->time_base = context->time_base;
    raw->pb = io;
    AVDictionary* options = nullptr;
    need(av_dict_parse_string(&options, muxerOptions.c_str(), "=", ":", 0), "options");
    const int written = avformat_write_header(raw, &options);
    av_dict_free(&options);
    need(written, "header");

    const std::vector<double> samples = toneSamples(tone);
    const auto frames = static_cast<int>(samples.size() / static_cast<std::size_t>(tone.channels));
    const int frameSize = context->frame_size > 0 ? context->frame_size : 4096;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    const auto drain = [&] {
        while (avcodec_receive_packet(context.get(), packet) == 0) {
            av_packet_rescale_ts(packet, context->time_base, stream->time_base);
            need(av_write_frame(raw, packet), "write");
        }
    };
    for (int start = 0; start < frames; start += frameSize) {
        frame->nb_samples = std::min(frameSize, frames - start);
        if (frame->nb_samples < frameSize &&
            !(codec->capabilities &
              (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)))
            frame->nb_samples = frameSize;
        frame->format = context->sample_fmt;
        frame->sample_rate = tone.rate;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        need(av_frame_get_buffer(frame, 0), "frame");
        av_samples_set_silence(frame->extended_data, 0, frame->nb_samples, tone.channels,
                               context->sample_fmt);
        const bool planar = av_sample_fmt_is_planar(context->sample_fmt);
        for (int i = 0; i < std::min(frame->nb_samples, frames - start); ++i)
            for (int c = 0; c < tone.channels; ++c) {
                const double value =
                    samples[static_cast<std::size_t>((start + i) * tone.channels + c)];
                const int at = planar ? i : i * tone.channels + c;
                std::uint8_t* plane = frame->extended_data[planar ? c : 0];
                switch (av_get_packed_sample_fmt(context->sample_fmt)) {
                case AV_SAMPLE_FMT_FLT:
                    reinterpret_cast<float*>(plane)[at] = static_cast<float>(value);
                    break;
                case AV_SAMPLE_FMT_S32:
                    reinterpret_cast<std::int32_t*>(plane)[at] =
                        static_cast<std::int32_t>(value * 2147483647.0);
                    break;
                default:
                    reinterpret_cast<std::int16_t*>(plane)[at] =
                        static_cast<std::int16_t>(value * 32767.0);
                }
            }
        frame->pts = start;
        need(avcodec_send_frame(context.get(), frame), "encode");
        av_frame_unref(frame);
        drain();
    }
    need(avcodec_send_frame(context.get(), nullptr), "flush");
    drain();
    av_write_trailer(raw);
    av_frame_free(&frame);
    av_packet_free(&packet);
    raw->pb = nullptr;
}

} // namespace

std::string encodedBytes(const Tone& tone, const std::string& encoder, int kbps)
{
    AVIOContext* io = nullptr;
    need(avio_open_dyn_buf(&io), "buffer");
    encodeInto(io, tone, encoder, kbps, muxerOf(encoder), "");
    std::uint8_t* buffer = nullptr;
    const int size = avio_close_dyn_buf(io, &buffer);
    std::string bytes(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(size));
    av_free(buffer);
    return bytes;
}

void writeEncoded(const std::filesystem::path& path, const Tone& tone, const std::string& encoder,
                  const std::string& muxer, const std::string& muxerOptions, int kbps)
{
    AVIOContext* io = nullptr;
    need(avio_open(&io, path.c_str(), AVIO_FLAG_WRITE), "file");
    encodeInto(io, tone, encoder, kbps, muxer, muxerOptions);
    need(avio_closep(&io), "close");
}

} // namespace besweet::test
