// SPDX-License-Identifier: GPL-3.0-or-later
// The peak meter. Each output channel's samples are gathered as floats, copied where nothing is
// mixed and weighed through the matrix where it is, and measured by that channel's TruePeak.
#include "level/PeakMeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace besweet
{

namespace
{

// Each sample format's load is a type of its own, so each loop below is made for one format and
// the load is inlined.
template <typename T> T loadRaw(const std::uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Each load gives the sample as R, 1.0 being full scale. As float it is exactly the double
// rounded once, so a channel copied straight (no mix) is measured at float speed.
struct LoadU8 {
    template <typename R> static R get(const std::uint8_t* p)
    {
        return static_cast<R>(p[0] - 128) * static_cast<R>(1.0 / 128.0);
    }
};
struct LoadS16 {
    template <typename R> static R get(const std::uint8_t* p)
    {
        return static_cast<R>(loadRaw<std::int16_t>(p)) * static_cast<R>(1.0 / 32768.0);
    }
};
struct LoadS24 {
    template <typename R> static R get(const std::uint8_t* p)
    {
        const std::int32_t value =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                      static_cast<std::uint32_t>(p[1]) << 16 |
                                      static_cast<std::uint32_t>(p[2]) << 24) >>
            8;
        return static_cast<R>(value) * static_cast<R>(1.0 / 8388608.0);
    }
};
struct LoadS32 {
    template <typename R> static R get(const std::uint8_t* p)
    {
        return static_cast<R>(loadRaw<std::int32_t>(p)) * static_cast<R>(1.0 / 2147483648.0);
    }
};
struct LoadF32 {
    template <typename R> static R get(const std::uint8_t* p)
    {
        return static_cast<R>(loadRaw<float>(p));
    }
};
struct LoadF64 {
    template <typename R> static R get(const std::uint8_t* p)
    {
        return static_cast<R>(loadRaw<double>(p));
    }
};

constexpr std::size_t MostChannels = 64;

bool isIdentity(const std::vector<double>& matrix, int outChannels, int inChannels)
{
    if (outChannels != inChannels)
        return false;
    for (int o = 0; o < outChannels; ++o)
        for (int i = 0; i < inChannels; ++i)
            if (matrix[static_cast<std::size_t>(o * inChannels + i)] != (o == i ? 1.0 : 0.0))
                return false;
    return true;
}

} // namespace

PeakMeter::PeakMeter(std::vector<double> matrix, int outChannels, int inChannels)
    : matrix_(std::move(matrix)), outChannels_(outChannels), inChannels_(inChannels),
      identity_(isIdentity(matrix_, outChannels, inChannels)),
      channels_(static_cast<std::size_t>(std::max(outChannels, 0)))
{
    if (matrix_.size() != static_cast<std::size_t>(outChannels * inChannels) ||
        channels_.size() > MostChannels)
        throw std::invalid_argument("PeakMeter: matrix does not fit the channel counts");
}

bool PeakMeter::readsPacketsOf(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_PCM_U8:
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S32LE:
    case AV_CODEC_ID_PCM_F32LE:
    case AV_CODEC_ID_PCM_F64LE:
        return true;
    default:
        return false;
    }
}

template <typename Load>
void PeakMeter::addSamples(const std::uint8_t* const* planes, bool planar,
                           std::size_t bytesPerSample, std::size_t frames, Channels share)
{
    const auto channels = static_cast<std::size_t>(inChannels_);
    // Where channel c's samples start, and the bytes from one of its samples to the next.
    const auto start = [&](std::size_t c) {
        return planar ? planes[c] : planes[0] + c * bytesPerSample;
    };
    const std::size_t step = planar ? bytesPerSample : channels * bytesPerSample;
    const float* outs[MostChannels];
    for (std::size_t o = share.first; o < share.last; ++o) {
        float* out = channels_[o].reserve(frames);
        outs[o] = out;
        if (identity_) {
            const std::uint8_t* in = start(o);
            for (std::size_t f = 0; f < frames; ++f)
                out[f] = Load::template get<float>(in + f * step);
        } else {
            const double* row = &matrix_[o * channels];
            for (std::size_t f = 0; f < frames; ++f) {
                double sum = 0.0;
                for (std::size_t c = 0; c < channels; ++c)
                    sum += row[c] * Load::template get<double>(start(c) + f * step);
                out[f] = static_cast<float>(sum);
            }
        }
    }
    if (loudness_)
        loudness_->add(outs, frames, share.first, share.last);
    for (std::size_t o = share.first; o < share.last; ++o)
        channels_[o].take(frames);
}

double PeakMeter::samplePeak() const
{
    double peak = 0.0;
    for (const TruePeak& channel : channels_)
        peak = std::max(peak, channel.samplePeak());
    return peak;
}

double PeakMeter::truePeak() const
{
    double peak = 0.0;
    for (const TruePeak& channel : channels_)
        peak = std::max(peak, channel.peak());
    return peak;
}

std::int64_t PeakMeter::addPacket(AVCodecID codec, const std::uint8_t* data, std::size_t size)
{
    return addPacket(codec, data, size, {0, channels_.size()});
}

std::int64_t PeakMeter::addPacket(AVCodecID codec, const std::uint8_t* data, std::size_t size,
                                  Channels share)
{
    if (share.first > share.last || share.last > channels_.size())
        throw std::invalid_argument("PeakMeter: no such channels");
    const std::uint8_t* planes[1] = {data};
    const auto measure = [&]<typename Load>(Load, std::size_t bytesPerSample) {
        const std::size_t frames = size / (bytesPerSample * static_cast<std::size_t>(inChannels_));
        addSamples<Load>(planes, false, bytesPerSample, frames, share);
        return static_cast<std::int64_t>(frames);
    };
    switch (codec) {
    case AV_CODEC_ID_PCM_U8:
        return measure(LoadU8{}, 1);
    case AV_CODEC_ID_PCM_S16LE:
        return measure(LoadS16{}, 2);
    case AV_CODEC_ID_PCM_S24LE:
        return measure(LoadS24{}, 3);
    case AV_CODEC_ID_PCM_S32LE:
        return measure(LoadS32{}, 4);
    case AV_CODEC_ID_PCM_F32LE:
        return measure(LoadF32{}, 4);
    case AV_CODEC_ID_PCM_F64LE:
        return measure(LoadF64{}, 8);
    default:
        throw std::invalid_argument("PeakMeter: not a PCM codec it reads");
    }
}

void PeakMeter::addFrame(const AVFrame& frame)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format);
    const auto frames = static_cast<std::size_t>(frame.nb_samples);
    const std::uint8_t* const* planes = frame.extended_data;
    const Channels all{0, channels_.size()};
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return addSamples<LoadU8>(planes, planar, 1, frames, all);
    case AV_SAMPLE_FMT_S16:
        return addSamples<LoadS16>(planes, planar, 2, frames, all);
    case AV_SAMPLE_FMT_S32:
        return addSamples<LoadS32>(planes, planar, 4, frames, all);
    case AV_SAMPLE_FMT_FLT:
        return addSamples<LoadF32>(planes, planar, 4, frames, all);
    case AV_SAMPLE_FMT_DBL:
        return addSamples<LoadF64>(planes, planar, 8, frames, all);
    default:
        throw std::invalid_argument("PeakMeter: unknown sample format");
    }
}

} // namespace besweet
