// SPDX-License-Identifier: GPL-3.0-or-later
// The peak meter. Each output channel's samples are gathered as floats, copied where nothing is
// mixed and weighed through the matrix where it is, and measured by that channel's TruePeak.
#include "PeakMeter.h"

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

constexpr auto loadU8 = [](const std::uint8_t* p) -> double { return (p[0] - 128) / 128.0; };
constexpr auto loadS16 = [](const std::uint8_t* p) -> double {
    return loadRaw<std::int16_t>(p) / 32768.0;
};
constexpr auto loadS24 = [](const std::uint8_t* p) -> double {
    const std::int32_t value = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                                         static_cast<std::uint32_t>(p[1]) << 16 |
                                                         static_cast<std::uint32_t>(p[2]) << 24) >>
                               8;
    return value / 8388608.0;
};
constexpr auto loadS32 = [](const std::uint8_t* p) -> double {
    return loadRaw<std::int32_t>(p) / 2147483648.0;
};
constexpr auto loadF32 = [](const std::uint8_t* p) -> double { return loadRaw<float>(p); };
constexpr auto loadF64 = [](const std::uint8_t* p) -> double { return loadRaw<double>(p); };

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
    if (matrix_.size() != static_cast<std::size_t>(outChannels * inChannels))
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
                           std::size_t bytesPerSample, std::size_t frames, Load load)
{
    const auto channels = static_cast<std::size_t>(inChannels_);
    const auto at = [&](std::size_t frame, std::size_t channel) {
        return planar ? planes[channel] + frame * bytesPerSample
                      : planes[0] + (frame * channels + channel) * bytesPerSample;
    };
    for (std::size_t o = 0; o < channels_.size(); ++o) {
        float* out = channels_[o].reserve(frames);
        if (identity_) {
            for (std::size_t f = 0; f < frames; ++f)
                out[f] = static_cast<float>(load(at(f, o)));
        } else {
            const double* row = &matrix_[o * channels];
            for (std::size_t f = 0; f < frames; ++f) {
                double sum = 0.0;
                for (std::size_t c = 0; c < channels; ++c)
                    sum += row[c] * load(at(f, c));
                out[f] = static_cast<float>(sum);
            }
        }
        channels_[o].take(frames);
    }
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
    const std::uint8_t* planes[1] = {data};
    const auto channels = static_cast<std::size_t>(inChannels_);
    const auto framesOf = [&](std::size_t bytes) { return size / (bytes * channels); };
    switch (codec) {
    case AV_CODEC_ID_PCM_U8:
        addSamples(planes, false, 1, framesOf(1), loadU8);
        return static_cast<std::int64_t>(framesOf(1));
    case AV_CODEC_ID_PCM_S16LE:
        addSamples(planes, false, 2, framesOf(2), loadS16);
        return static_cast<std::int64_t>(framesOf(2));
    case AV_CODEC_ID_PCM_S24LE:
        addSamples(planes, false, 3, framesOf(3), loadS24);
        return static_cast<std::int64_t>(framesOf(3));
    case AV_CODEC_ID_PCM_S32LE:
        addSamples(planes, false, 4, framesOf(4), loadS32);
        return static_cast<std::int64_t>(framesOf(4));
    case AV_CODEC_ID_PCM_F32LE:
        addSamples(planes, false, 4, framesOf(4), loadF32);
        return static_cast<std::int64_t>(framesOf(4));
    case AV_CODEC_ID_PCM_F64LE:
        addSamples(planes, false, 8, framesOf(8), loadF64);
        return static_cast<std::int64_t>(framesOf(8));
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
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return addSamples(planes, planar, 1, frames, loadU8);
    case AV_SAMPLE_FMT_S16:
        return addSamples(planes, planar, 2, frames, loadS16);
    case AV_SAMPLE_FMT_S32:
        return addSamples(planes, planar, 4, frames, loadS32);
    case AV_SAMPLE_FMT_FLT:
        return addSamples(planes, planar, 4, frames, loadF32);
    case AV_SAMPLE_FMT_DBL:
        return addSamples(planes, planar, 8, frames, loadF64);
    default:
        throw std::invalid_argument("PeakMeter: unknown sample format");
    }
}

} // namespace besweet
