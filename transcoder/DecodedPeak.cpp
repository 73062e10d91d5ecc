// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the decoder that matches the encoder, and measuring what it gives.
#include "DecodedPeak.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace besweet
{

namespace
{

const AVCodec* floatDecoderFor(AVCodecID codec)
{
    if (codec == AV_CODEC_ID_MP2)
        if (const AVCodec* decoder = avcodec_find_decoder_by_name("mp2float"))
            return decoder;
    return avcodec_find_decoder(codec);
}

template <typename T> double peakOf(const std::uint8_t* data, std::size_t count, double fullScale)
{
    double peak = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        T value;
        std::memcpy(&value, data + i * sizeof(T), sizeof(T));
        peak = std::max(peak, std::fabs(static_cast<double>(value)));
    }
    return peak / fullScale;
}

// The decoders' own format: sixteen running maxima side by side rather than one, since one chain
// of comparisons waits on itself at every sample. The same peak, a few times faster.
double floatPeak(const std::uint8_t* data, std::size_t count)
{
    const auto* samples = reinterpret_cast<const float*>(data);
    constexpr std::size_t Lanes = 16;
    std::array<float, Lanes> lanes{};
    std::size_t i = 0;
    for (; i + Lanes <= count; i += Lanes)
        for (std::size_t l = 0; l < Lanes; ++l)
            lanes[l] = std::max(lanes[l], std::fabs(samples[i + l]));
    float peak = *std::max_element(lanes.begin(), lanes.end());
    for (; i < count; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

double framePeak(const AVFrame& frame)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = frame.ch_layout.nb_channels;
    const auto count = static_cast<std::size_t>(frame.nb_samples) *
                       static_cast<std::size_t>(planar ? 1 : channels);
    double peak = 0.0;
    for (int p = 0; p < (planar ? channels : 1); ++p) {
        const std::uint8_t* data = frame.extended_data[p];
        switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_FLT:
            peak = std::max(peak, floatPeak(data, count));
            break;
        case AV_SAMPLE_FMT_DBL:
            peak = std::max(peak, peakOf<double>(data, count, 1.0));
            break;
        case AV_SAMPLE_FMT_S16:
            peak = std::max(peak, peakOf<std::int16_t>(data, count, 32768.0));
            break;
        case AV_SAMPLE_FMT_S32:
            peak = std::max(peak, peakOf<std::int32_t>(data, count, 2147483648.0));
            break;
        default:
            throw WorkError(text("cannot measure the decoded track: unknown sample format"));
        }
    }
    return peak;
}

} // namespace

DecodedPeak::DecodedPeak(const AVCodecContext& encoder, std::string name)
    : name_(std::move(name)), frame_(makeFrame())
{
    const AVCodec* codec = floatDecoderFor(encoder.codec_id);
    if (!codec)
        throw WorkError(text("%s: no decoder to measure the track with", name_));
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_)
        throw WorkError(text("out of memory"));
    check(av_channel_layout_copy(&decoder_->ch_layout, &encoder.ch_layout), text("channel layout"));
    decoder_->sample_rate = encoder.sample_rate;
    check(avcodec_open2(decoder_.get(), codec, nullptr),
          text("%s: cannot open the decoder that measures the track", name_));
}

void DecodedPeak::add(const AVPacket& packet)
{
    checkEach(avcodec_send_packet(decoder_.get(), &packet),
              [&] { return text("%s: the encoded track does not decode", name_); });
    receive();
}

void DecodedPeak::finish()
{
    checkEach(avcodec_send_packet(decoder_.get(), nullptr),
              [&] { return text("%s: the encoded track does not decode", name_); });
    receive();
}

void DecodedPeak::receive()
{
    for (;;) {
        const int got = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        checkEach(got, [&] { return text("%s: the encoded track does not decode", name_); });
        peak_ = std::max(peak_, framePeak(*frame_));
        av_frame_unref(frame_.get());
    }
}

} // namespace besweet
