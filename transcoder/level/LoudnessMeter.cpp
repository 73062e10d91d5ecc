// SPDX-License-Identifier: GPL-3.0-or-later
// The K-weighting (a high shelf, then the revised low-frequency B-curve high pass, each a biquad
// made for the rate from the analogue prototype BS.1770 describes), the 100 ms steps, the gates
// and the percentiles of the range, and the summary line.
#include "level/LoudnessMeter.h"

#include "core/Decibels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace besweet
{

namespace
{

constexpr double AbsoluteGate = -70.0;   // LUFS
constexpr double IntegratedGate = -10.0; // LU below the loudness of the blocks above -70
constexpr double RangeGate = -20.0;      // LU below that of the short-term windows above -70
constexpr std::size_t BlockSteps = 4;    // 400 ms
constexpr std::size_t WindowSteps = 30;  // 3 s
// The channels filtered together: the lanes of a vector of floats, which every x86-64 and ARMv8
// processor takes in one register.
constexpr std::size_t MostTogether = 4;
using Vector = float __attribute__((vector_size(MostTogether * sizeof(float))));

Vector splat(float value)
{
    return Vector{} + value;
}

// Lane by lane, in one instruction where the processor has one.
Vector largest(Vector a, Vector b)
{
#if defined(__SSE__)
    return _mm_max_ps(a, b);
#else
    return a > b ? a : b;
#endif
}

Vector smallest(Vector a, Vector b)
{
#if defined(__SSE__)
    return _mm_min_ps(a, b);
#else
    return a < b ? a : b;
#endif
}

// The low half of a, then the low half of b.
Vector lowHigh(Vector a, Vector b)
{
#if defined(__SSE__)
    return _mm_movelh_ps(a, b);
#else
    return Vector{a[0], a[1], b[0], b[1]};
#endif
}

// Sample i of each lane's channel.
template <std::size_t Lanes> Vector gather(const float* const* in, std::size_t i)
{
#if defined(__SSE__)
    if constexpr (Lanes == 2)
        return _mm_unpacklo_ps(_mm_load_ss(in[0] + i), _mm_load_ss(in[1] + i));
#endif
    Vector x = {};
    for (std::size_t c = 0; c < Lanes; ++c)
        x[c] = in[c][i];
    return x;
}

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
            switch (std::min(last - from, MostTogether)) {
            case 1:
                filterPaired<1>(planes, at, count, from);
                break;
            case 2:
                filterPaired<2>(planes, at, count, from);
                break;
            case 3:
                filter<3>(planes, at, count, from);
                break;
            default:
                filter<4>(planes, at, count, from);
            }
        }
        at += count;
        for (std::size_t c = first; c < last; ++c) {
            Channel& channel = channels_[c];
            channel.taken += static_cast<std::int64_t>(count);
            if (channel.taken < end)
                continue;
            channel.squares.push_back(channel.sum);
            channel.sum = 0.0f;
            // A filter left to die away would sink into denormal numbers, which are slow.
            for (float& memory : channel.state)
                if (std::fabs(memory) < 1e-20f)
                    memory = 0.0f;
        }
    }
}

// Filters count samples from at of the Lanes channels from first together, the sample frame's
// channels side by side in the lanes of one vector.
template <std::size_t Lanes>
void LoudnessMeter::filter(const float* const* planes, std::size_t at, std::size_t count,
                           std::size_t first)
{
    Vector s[4] = {};
    Vector highest = {};
    Vector lowest = {};
    Vector sum = {};
    const float* in[Lanes];
    for (std::size_t c = 0; c < Lanes; ++c) {
        const Channel& channel = channels_[first + c];
        for (std::size_t m = 0; m < 4; ++m)
            s[m][c] = channel.state[m];
        highest[c] = channel.peak;
        lowest[c] = -channel.peak;
        sum[c] = channel.sum;
        in[c] = planes[first + c] + at;
    }
    const Vector b0 = splat(shelf_[0]), b1 = splat(shelf_[1]), b2 = splat(shelf_[2]);
    const Vector a1 = splat(shelf_[3]), a2 = splat(shelf_[4]);
    const Vector h1 = splat(highPass_[3]), h2 = splat(highPass_[4]);
    for (std::size_t i = 0; i < count; ++i) {
        const Vector x = gather<Lanes>(in, i);
        highest = largest(highest, x);
        lowest = smallest(lowest, x);
        const Vector y = b0 * x + s[0];
        s[0] = b1 * x - a1 * y + s[1];
        s[1] = b2 * x - a2 * y;
        const Vector z = y + s[2];
        s[2] = s[3] - (y + y) - h1 * z;
        s[3] = y - h2 * z;
        sum += z * z;
    }
    for (std::size_t c = 0; c < Lanes; ++c) {
        Channel& channel = channels_[first + c];
        for (std::size_t m = 0; m < 4; ++m)
            channel.state[m] = s[m][c];
        channel.peak = std::max(highest[c], -lowest[c]);
        channel.sum = sum[c];
    }
}

// One or two channels leave lanes free, which run the high pass one sample behind the shelf:
// lanes 0 and 1 take the channels' samples through the shelf, lanes 2 and 3 the shelf's previous
// outputs through the high pass, so both sections take one step of the same biquad. The first
// step runs the shelf alone, a last one the high pass alone.
template <std::size_t Lanes>
void LoudnessMeter::filterPaired(const float* const* planes, std::size_t at, std::size_t count,
                                 std::size_t first)
{
    if (count == 0)
        return;
    Vector s0 = {};
    Vector s1 = {};
    Vector highest = {};
    Vector lowest = {};
    Vector sum = {};
    const float* in[Lanes];
    for (std::size_t c = 0; c < Lanes; ++c) {
        const Channel& channel = channels_[first + c];
        s0[c] = channel.state[0];
        s1[c] = channel.state[1];
        s0[c + 2] = channel.state[2];
        s1[c + 2] = channel.state[3];
        highest[c] = channel.peak;
        lowest[c] = -channel.peak;
        sum[c + 2] = channel.sum;
        in[c] = planes[first + c] + at;
    }
    const Vector b0 = {shelf_[0], shelf_[0], 1.0f, 1.0f};
    const Vector b1 = {shelf_[1], shelf_[1], -2.0f, -2.0f};
    const Vector b2 = {shelf_[2], shelf_[2], 1.0f, 1.0f};
    const Vector a1 = {shelf_[3], shelf_[3], highPass_[3], highPass_[3]};
    const Vector a2 = {shelf_[4], shelf_[4], highPass_[4], highPass_[4]};
    const auto step = [&](Vector u) {
        const Vector out = b0 * u + s0;
        s0 = b1 * u - a1 * out + s1;
        s1 = b2 * u - a2 * out;
        return out;
    };
    // The first sample through the shelf alone.
    const Vector shelfLanes = {1.0f, 1.0f, 0.0f, 0.0f};
    const Vector firstX = gather<Lanes>(in, 0);
    highest = largest(highest, firstX);
    lowest = smallest(lowest, firstX);
    const Vector keep0 = s0, keep1 = s1;
    Vector y = step(firstX);
    s0 = shelfLanes != 0.0f ? s0 : keep0;
    s1 = shelfLanes != 0.0f ? s1 : keep1;
    std::size_t i = 1;
#if defined(__SSE__)
    // Two channels four samples at a time: lanes 0 and 2 of the pairs are the first channel's,
    // 1 and 3 the second's.
    if constexpr (Lanes == 2)
        for (; i + 4 <= count; i += 4) {
            const Vector first = _mm_loadu_ps(in[0] + i);
            const Vector second = _mm_loadu_ps(in[1] + i);
            const Vector early = _mm_unpacklo_ps(first, second);
            const Vector late = _mm_unpackhi_ps(first, second);
            highest = largest(highest, largest(early, late));
            lowest = smallest(lowest, smallest(early, late));
            y = step(_mm_movelh_ps(early, y));
            sum += y * y;
            y = step(_mm_shuffle_ps(early, y, _MM_SHUFFLE(1, 0, 3, 2)));
            sum += y * y;
            y = step(_mm_movelh_ps(late, y));
            sum += y * y;
            y = step(_mm_shuffle_ps(late, y, _MM_SHUFFLE(1, 0, 3, 2)));
            sum += y * y;
        }
#endif
    for (; i < count; ++i) {
        const Vector x = gather<Lanes>(in, i);
        highest = largest(highest, x);
        lowest = smallest(lowest, x);
        y = step(lowHigh(x, y));
        sum += y * y;
    }
    // The last shelf output through the high pass alone.
    const Vector last0 = s0, last1 = s1;
    y = step(lowHigh(Vector{}, y));
    sum += y * y;
    s0 = shelfLanes != 0.0f ? last0 : s0;
    s1 = shelfLanes != 0.0f ? last1 : s1;
    for (std::size_t c = 0; c < Lanes; ++c) {
        Channel& channel = channels_[first + c];
        channel.state[0] = s0[c];
        channel.state[1] = s1[c];
        channel.state[2] = s0[c + 2];
        channel.state[3] = s1[c + 2];
        channel.peak = std::max({highest[c], highest[c + 2], -lowest[c], -lowest[c + 2]});
        channel.sum = sum[c + 2];
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

} // namespace besweet
