// SPDX-License-Identifier: GPL-3.0-or-later
// The K-weighting (a high shelf, then the revised low-frequency B-curve high pass, each a biquad
// made for the rate from the analogue prototype BS.1770 describes), the 100 ms steps, the gates
// and the percentiles of the range, and the summary line.
#include "level/LoudnessMeter.h"

#include "core/Decibels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace besweet
{

namespace
{

constexpr double AbsoluteGate = -70.0;   // LUFS
constexpr double IntegratedGate = -10.0; // LU below the loudness of the blocks above -70
constexpr double RangeGate = -20.0;      // LU below that of the short-term windows above -70
constexpr std::size_t BlockSteps = 4;    // 400 ms
constexpr std::size_t WindowSteps = 30;  // 3 s
constexpr std::size_t MostTogether = 8;  // channels filtered in one pass

double loudnessOf(double power)
{
    return -0.691 + 10.0 * std::log10(power);
}

double powerOf(double loudness)
{
    return std::pow(10.0, (loudness + 0.691) / 10.0);
}

// b0 b1 b2 a1 a2 (a0 = 1).
using Section = std::array<double, 5>;

Section highShelf(int rate)
{
    const double f0 = 1681.974450955533;
    const double gainDb = 3.999843853973347;
    const double q = 0.7071752369554196;
    const double k = std::tan(M_PI * f0 / rate);
    const double vh = std::pow(10.0, gainDb / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    return {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
            2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

Section highPass(int rate)
{
    const double f0 = 38.13547087602444;
    const double q = 0.5003270373238773;
    const double k = std::tan(M_PI * f0 / rate);
    const double a0 = 1.0 + k / q + k * k;
    return {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

void toFloats(const Section& section, float* out)
{
    for (std::size_t i = 0; i < section.size(); ++i)
        out[i] = static_cast<float>(section[i]);
}

float weightOf(const AVChannelLayout& layout, int index)
{
    switch (av_channel_layout_channel_from_index(&layout, static_cast<unsigned>(index))) {
    case AV_CHAN_LOW_FREQUENCY:
    case AV_CHAN_LOW_FREQUENCY_2:
        return 0.0f;
    case AV_CHAN_SIDE_LEFT:
    case AV_CHAN_SIDE_RIGHT:
    case AV_CHAN_BACK_LEFT:
    case AV_CHAN_BACK_RIGHT:
        return 1.41f;
    default:
        return 1.0f;
    }
}

// One sample of a packed format, 1.0 full scale.
float sampleAt(const std::uint8_t* data, AVSampleFormat packed, std::size_t index)
{
    const auto load = [&]<typename T>(T) {
        T value;
        std::memcpy(&value, data + index * sizeof value, sizeof value);
        return value;
    };
    switch (packed) {
    case AV_SAMPLE_FMT_U8:
        return static_cast<float>(data[index] - 128) / 128.0f;
    case AV_SAMPLE_FMT_S16:
        return static_cast<float>(load(std::int16_t{})) / 32768.0f;
    case AV_SAMPLE_FMT_S32:
        return static_cast<float>(load(std::int32_t{}) / 2147483648.0);
    case AV_SAMPLE_FMT_FLT:
        return load(float{});
    case AV_SAMPLE_FMT_DBL:
        return static_cast<float>(load(double{}));
    default:
        throw WorkError(text("cannot measure the loudness: unknown sample format"));
    }
}

// The nearest rank of the share (0 to 1) of sorted values.
double percentile(const std::vector<double>& sorted, double share)
{
    return sorted[static_cast<std::size_t>(static_cast<double>(sorted.size() - 1) * share + 0.5)];
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

LoudnessMeter::LoudnessMeter(const AVChannelLayout& layout, int rate)
    : rate_(rate), channels_(static_cast<std::size_t>(std::max(layout.nb_channels, 0)))
{
    if (rate <= 0)
        throw WorkError(text("cannot measure the loudness: no sample rate"));
    toFloats(highShelf(rate), shelf_);
    toFloats(highPass(rate), highPass_);
    for (std::size_t c = 0; c < channels_.size(); ++c)
        channels_[c].weight = weightOf(layout, static_cast<int>(c));
}

// Where step number step ends, in samples from the start: a tenth of a second each, rounded
// down, so rates that are no multiple of 10 keep in time.
std::int64_t LoudnessMeter::stepEnd(std::size_t step) const
{
    return (static_cast<std::int64_t>(step) + 1) * rate_ / 10;
}

void LoudnessMeter::add(const float* const* planes, std::size_t frames, std::size_t first,
                        std::size_t last)
{
    last = std::min(last, channels_.size());
    if (first >= last)
        return;
    Channel& lead = channels_[first];
    for (std::size_t at = 0; at < frames;) {
        const std::int64_t end = stepEnd(lead.squares.size());
        const auto count = std::min(frames - at, static_cast<std::size_t>(end - lead.taken));
        for (std::size_t from = first; from < last; from += MostTogether) {
            const std::size_t to = std::min(last, from + MostTogether);
            switch (to - from) {
            case 1:
                filter<1>(planes, at, count, from, to);
                break;
            case 2:
                filter<2>(planes, at, count, from, to);
                break;
            default:
                filter<0>(planes, at, count, from, to);
            }
        }
        at += count;
        for (std::size_t c = first; c < last; ++c) {
            Channel& channel = channels_[c];
            channel.taken += static_cast<std::int64_t>(count);
            if (channel.taken < end)
                continue;
            channel.squares.push_back(static_cast<float>(channel.sum));
            channel.sum = 0.0;
            // A filter left to die away would sink into denormal numbers, which are slow.
            for (float& memory : channel.state)
                if (std::fabs(memory) < 1e-20f)
                    memory = 0.0f;
        }
    }
}

// Filters count samples from at of the channels first to last together, the sample frame's
// channels side by side; Fixed: their number where known, so the loop unrolls.
template <int Fixed>
void LoudnessMeter::filter(const float* const* planes, std::size_t at, std::size_t count,
                           std::size_t first, std::size_t last)
{
    const std::size_t n = Fixed > 0 ? static_cast<std::size_t>(Fixed) : last - first;
    float s[MostTogether][4];
    float peak[MostTogether];
    double sum[MostTogether];
    const float* in[MostTogether];
    for (std::size_t c = 0; c < n; ++c) {
        const Channel& channel = channels_[first + c];
        std::copy(std::begin(channel.state), std::end(channel.state), s[c]);
        peak[c] = channel.peak;
        sum[c] = channel.sum;
        in[c] = planes[first + c] + at;
    }
    const float b0 = shelf_[0], b1 = shelf_[1], b2 = shelf_[2], a1 = shelf_[3], a2 = shelf_[4];
    const float h1 = highPass_[3], h2 = highPass_[4];
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t c = 0; c < n; ++c) {
            const float x = in[c][i];
            peak[c] = std::max(peak[c], std::fabs(x));
            const float y = b0 * x + s[c][0];
            s[c][0] = b1 * x - a1 * y + s[c][1];
            s[c][1] = b2 * x - a2 * y;
            const float z = y + s[c][2];
            s[c][2] = -2.0f * y - h1 * z + s[c][3];
            s[c][3] = y - h2 * z;
            sum[c] += static_cast<double>(z * z);
        }
    for (std::size_t c = 0; c < n; ++c) {
        Channel& channel = channels_[first + c];
        std::copy(s[c], s[c] + 4, channel.state);
        channel.peak = peak[c];
        channel.sum = sum[c];
    }
}

void LoudnessMeter::add(const AVFrame& frame)
{
    if (static_cast<std::size_t>(frame.ch_layout.nb_channels) != channels_.size())
        throw WorkError(text("cannot measure the loudness: the channels changed"));
    const auto frames = static_cast<std::size_t>(frame.nb_samples);
    const auto format = static_cast<AVSampleFormat>(frame.format);
    if (format == AV_SAMPLE_FMT_FLTP) {
        add(reinterpret_cast<const float* const*>(frame.extended_data), frames, 0,
            channels_.size());
        return;
    }
    const std::size_t channels = channels_.size();
    converted_.resize(channels);
    std::vector<const float*> planes(channels);
    for (std::size_t c = 0; c < channels; ++c) {
        converted_[c].resize(frames);
        channelAsFloats(frame, static_cast<int>(c), converted_[c].data());
        planes[c] = converted_[c].data();
    }
    add(planes.data(), frames, 0, channels);
}

void channelAsFloats(const AVFrame& frame, int c, float* out)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const auto frames = static_cast<std::size_t>(frame.nb_samples);
    const auto channels = static_cast<std::size_t>(frame.ch_layout.nb_channels);
    const auto channel = static_cast<std::size_t>(c);
    if (format == AV_SAMPLE_FMT_FLTP) {
        std::memcpy(out, frame.extended_data[c], frames * sizeof(float));
        return;
    }
    const bool planar = av_sample_fmt_is_planar(format);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = planar ? sampleAt(frame.extended_data[c], packed, i)
                        : sampleAt(frame.extended_data[0], packed, i * channels + channel);
}

double LoudnessMeter::samplePeak() const
{
    float peak = 0.0f;
    for (const Channel& channel : channels_)
        peak = std::max(peak, channel.peak);
    return peak;
}

LoudnessFigures LoudnessMeter::figures(double gain) const
{
    std::size_t steps = std::numeric_limits<std::size_t>::max();
    for (const Channel& channel : channels_)
        steps = std::min(steps, channel.squares.size());
    if (channels_.empty())
        steps = 0;
    // The weighted squares summed from the start to each step's end.
    std::vector<double> summed(steps + 1, 0.0);
    for (std::size_t k = 0; k < steps; ++k) {
        double z = 0.0;
        for (const Channel& channel : channels_)
            z += channel.weight * static_cast<double>(channel.squares[k]);
        summed[k + 1] = summed[k] + z;
    }
    const double scale = gain * gain;
    const auto powers = [&](std::size_t width) {
        std::vector<double> out;
        for (std::size_t j = 0; j + width <= steps; ++j) {
            const std::int64_t from = j == 0 ? 0 : stepEnd(j - 1);
            out.push_back(scale * (summed[j + width] - summed[j]) /
                          static_cast<double>(stepEnd(j + width - 1) - from));
        }
        return out;
    };
    // The powers above the absolute gate and above the gate relative to their mean.
    const auto gated = [](const std::vector<double>& all, double relative) {
        std::vector<double> kept;
        for (const double p : all)
            if (p > powerOf(AbsoluteGate))
                kept.push_back(p);
        if (kept.empty())
            return kept;
        double mean = 0.0;
        for (const double p : kept)
            mean += p / static_cast<double>(kept.size());
        std::erase_if(kept, [&](double p) { return p <= mean * std::pow(10.0, relative / 10.0); });
        return kept;
    };

    LoudnessFigures figures;
    figures.integrated = -std::numeric_limits<double>::infinity();
    if (const std::vector<double> blocks = gated(powers(BlockSteps), IntegratedGate);
        !blocks.empty()) {
        double mean = 0.0;
        for (const double p : blocks)
            mean += p / static_cast<double>(blocks.size());
        figures.integrated = loudnessOf(mean);
    }
    std::vector<double> windows = gated(powers(WindowSteps), RangeGate);
    if (!windows.empty()) {
        std::sort(windows.begin(), windows.end());
        figures.range =
            loudnessOf(percentile(windows, 0.95)) - loudnessOf(percentile(windows, 0.1));
    }
    return figures;
}

Text summaryLine(double seconds, const LoudnessFigures& figures, double truePeak)
{
    if (truePeak < 0.0)
        return text("Delivered: %s, %s LUFS, LRA %s LU", lengthText(seconds),
                    oneDecimal(figures.integrated), oneDecimal(figures.range));
    return text("Delivered: %s, %s LUFS, LRA %s LU, %s dBTP", lengthText(seconds),
                oneDecimal(figures.integrated), oneDecimal(figures.range),
                oneDecimal(toDecibels(truePeak)));
}

} // namespace besweet
