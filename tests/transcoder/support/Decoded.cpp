// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding a track for the checks, independent of besweet's own pipeline code.
#include "support/Decoded.h"

#include "support/AudioFiles.h"

#include <algorithm>
#include <cmath>
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

double frameSample(const AVFrame& frame, int channel, int index)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = frame.ch_layout.nb_channels;
    const int at = planar ? index : index * channels + channel;
    const std::uint8_t* data = frame.extended_data[planar ? channel : 0];
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const std::int16_t*>(data)[at] / 32768.0;
    case AV_SAMPLE_FMT_S32:
        return reinterpret_cast<const std::int32_t*>(data)[at] / 2147483648.0;
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float*>(data)[at];
    case AV_SAMPLE_FMT_S64:
        return static_cast<double>(reinterpret_cast<const std::int64_t*>(data)[at]) / 0x1p63;
    default:
        throw std::runtime_error("test decoder: unexpected sample format");
    }
}

} // namespace

Decoded decodeFile(const std::filesystem::path& path, DecodeTo to)
{
    AVFormatContext* rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, path.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + path.string());
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(
        rawFormat, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(rawFormat, nullptr) < 0)
        throw std::runtime_error("no stream info in " + path.string());
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(rawFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0)
        throw std::runtime_error("no audio in " + path.string());
    const AVStream* stream = rawFormat->streams[index];
    if (to == DecodeTo::Float && codec->id == AV_CODEC_ID_MP2)
        codec = avcodec_find_decoder_by_name("mp2float");

    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    avcodec_parameters_to_context(decoder.get(), stream->codecpar);
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        throw std::runtime_error("cannot decode " + path.string());

    Decoded result;
    result.codec = avcodec_get_name(stream->codecpar->codec_id);
    result.rate = stream->codecpar->sample_rate;
    result.bitRate = stream->codecpar->bit_rate;
    result.channels = stream->codecpar->ch_layout.nb_channels;

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame) == 0) {
            result.samples += frame->nb_samples;
            for (int i = 0; i < frame->nb_samples; ++i)
                for (int c = 0; c < frame->ch_layout.nb_channels; ++c) {
                    const double sample = frameSample(*frame, c, i);
                    result.peak = std::max(result.peak, std::fabs(sample));
                    result.interleaved.push_back(static_cast<float>(sample));
                }
            av_frame_unref(frame);
        }
    };
    if (to == DecodeTo::Float && codec->id == AV_CODEC_ID_MP2) {
        // Every frame, cut by the parser: the demuxer skips a first frame whose channel mode
        // differs from the next one's (joint stereo switches per frame) as junk.
        const std::string bytes = readBytes(path);
        AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_MP2);
        std::size_t at = 0;
        for (bool more = true; more;) {
            const auto* input = reinterpret_cast<const std::uint8_t*>(bytes.data()) + at;
            const int left = static_cast<int>(bytes.size() - at);
            std::uint8_t* data = nullptr;
            int size = 0;
            const int used =
                av_parser_parse2(parser, decoder.get(), &data, &size, left ? input : nullptr, left,
                                 AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            at += static_cast<std::size_t>(std::max(used, 0));
            more = left > 0 || size > 0;
            packet->data = data;
            packet->size = size;
            if (size > 0 && avcodec_send_packet(decoder.get(), packet) == 0)
                drain();
        }
        av_parser_close(parser);
        packet->data = nullptr;
        packet->size = 0;
    } else {
        // Reads through what is no packet (zeros in a TS), as a player does.
        for (int stalls = 0; stalls < 1000;) {
            const int read = av_read_frame(rawFormat, packet);
            if (read == AVERROR(EAGAIN) || read == AVERROR_INVALIDDATA) {
                ++stalls;
                continue;
            }
            if (read < 0)
                break;
            if (packet->stream_index == index && avcodec_send_packet(decoder.get(), packet) == 0)
                drain();
            av_packet_unref(packet);
        }
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    return result;
}

std::vector<int> layerIIModes(const std::filesystem::path& path)
{
    const std::string bytes = readBytes(path);
    std::vector<int> modes;
    for (const std::int64_t at : packetPositions(path))
        if (at >= 0 && static_cast<std::size_t>(at) + 4 <= bytes.size())
            modes.push_back(static_cast<unsigned char>(bytes[static_cast<std::size_t>(at) + 3]) >>
                            6);
    return modes;
}

std::vector<std::int64_t> packetPositions(const std::filesystem::path& path)
{
    AVFormatContext* rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, path.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + path.string());
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(
        rawFormat, [](AVFormatContext* f) { avformat_close_input(&f); });
    std::vector<std::int64_t> positions;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(rawFormat, packet) >= 0) {
        positions.push_back(packet->pos);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return positions;
}

double toDecibels(double linear)
{
    return 20.0 * std::log10(linear);
}

double rmsOf(const Decoded& track, int channel, double from, double to)
{
    const auto first = static_cast<std::size_t>(from * track.rate);
    const auto last = std::min(static_cast<std::size_t>(to * track.rate),
                               static_cast<std::size_t>(track.samples));
    double sum = 0.0;
    for (std::size_t i = first; i < last; ++i) {
        const double s = track.interleaved[i * static_cast<std::size_t>(track.channels) +
                                           static_cast<std::size_t>(channel)];
        sum += s * s;
    }
    return std::sqrt(sum / static_cast<double>(std::max<std::size_t>(last - first, 1)));
}

} // namespace besweet::test
