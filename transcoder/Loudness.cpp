// SPDX-License-Identifier: GPL-3.0-or-later
// Feeding libebur128 interleaved float samples, and the summary line.
#include "Loudness.h"

#include "Decibels.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace besweet
{

namespace
{

// One sample of any of FFmpeg's formats, full scale 1.0.
float sampleAt(const std::uint8_t* data, AVSampleFormat format, std::size_t index)
{
    switch (format) {
    case AV_SAMPLE_FMT_FLT: {
        float value;
        std::memcpy(&value, data + index * sizeof value, sizeof value);
        return value;
    }
    case AV_SAMPLE_FMT_DBL: {
        double value;
        std::memcpy(&value, data + index * sizeof value, sizeof value);
        return static_cast<float>(value);
    }
    case AV_SAMPLE_FMT_S16: {
        std::int16_t value;
        std::memcpy(&value, data + index * sizeof value, sizeof value);
        return static_cast<float>(value) / 32768.0f;
    }
    case AV_SAMPLE_FMT_S32: {
        std::int32_t value;
        std::memcpy(&value, data + index * sizeof value, sizeof value);
        return static_cast<float>(value / 2147483648.0);
    }
    default:
        throw WorkError(text("cannot measure the decoded track: unknown sample format"));
    }
}

std::string oneDecimal(double value)
{
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char formatted[32];
    std::snprintf(formatted, sizeof formatted, "%.1f", value);
    return formatted;
}

// "3:25.4", or "1:02:03.4" from an hour on.
std::string lengthText(double seconds)
{
    const auto tenths = static_cast<long long>(std::llround(seconds * 10.0));
    const long long minutes = tenths / 600;
    const double rest = static_cast<double>(tenths % 600) / 10.0;
    char formatted[48];
    if (minutes >= 60)
        std::snprintf(formatted, sizeof formatted, "%lld:%02lld:%04.1f", minutes / 60, minutes % 60,
                      rest);
    else
        std::snprintf(formatted, sizeof formatted, "%lld:%04.1f", minutes, rest);
    return formatted;
}

} // namespace

void Loudness::StateDeleter::operator()(ebur128_state* state) const
{
    ebur128_destroy(&state);
}

Loudness::Loudness(int channels, int rate)
    : state_(ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                          EBUR128_MODE_I | EBUR128_MODE_LRA)),
      channels_(channels), truePeaks_(static_cast<std::size_t>(channels))
{
    if (!state_)
        throw WorkError(text("out of memory"));
}

Loudness::~Loudness() = default;

void Loudness::add(const AVFrame& frame)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const bool planar = av_sample_fmt_is_planar(format);
    const auto samples = static_cast<std::size_t>(frame.nb_samples);
    const auto channels = static_cast<std::size_t>(channels_);
    if (frame.ch_layout.nb_channels != channels_)
        throw WorkError(text("cannot measure the decoded track: its channels changed"));
    interleaved_.resize(samples * channels);
    if (format == AV_SAMPLE_FMT_FLTP) {
        // The decoders' own format, the usual case.
        for (std::size_t c = 0; c < channels; ++c) {
            const auto* plane = reinterpret_cast<const float*>(frame.extended_data[c]);
            for (std::size_t i = 0; i < samples; ++i)
                interleaved_[i * channels + c] = plane[i];
        }
    } else {
        for (std::size_t c = 0; c < channels; ++c)
            for (std::size_t i = 0; i < samples; ++i)
                interleaved_[i * channels + c] =
                    planar ? sampleAt(frame.extended_data[c], packed, i)
                           : sampleAt(frame.extended_data[0], packed, i * channels + c);
    }
    if (ebur128_add_frames_float(state_.get(), interleaved_.data(), samples) != EBUR128_SUCCESS)
        throw WorkError(text("out of memory"));
    for (std::size_t c = 0; c < channels; ++c) {
        float* out = truePeaks_[c].reserve(samples);
        for (std::size_t i = 0; i < samples; ++i)
            out[i] = interleaved_[i * channels + c];
        truePeaks_[c].take(samples);
    }
}

LoudnessFigures Loudness::figures() const
{
    LoudnessFigures figures;
    ebur128_state* state = state_.get();
    if (ebur128_loudness_global(state, &figures.integrated) != EBUR128_SUCCESS ||
        ebur128_loudness_range(state, &figures.range) != EBUR128_SUCCESS)
        throw WorkError(text("cannot measure the loudness of the decoded track"));
    for (const TruePeak& meter : truePeaks_)
        figures.truePeak = std::max(figures.truePeak, meter.peak());
    return figures;
}

Text summaryLine(double seconds, const LoudnessFigures& figures)
{
    return text("Delivered: %s, %s LUFS, LRA %s LU, %s dBTP", lengthText(seconds),
                oneDecimal(figures.integrated), oneDecimal(figures.range),
                oneDecimal(toDecibels(figures.truePeak)));
}

} // namespace besweet
