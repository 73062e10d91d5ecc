// SPDX-License-Identifier: GPL-3.0-or-later
// The decoded track's loudness: however the decoder cuts and formats its frames, libebur128 gets
// every sample once and in order, so the figures are those it gives for the whole signal in one
// piece, and the peaks are those of the whole signal.
#include "level/Loudness.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace besweet
{
namespace
{

constexpr int Rate = 48000;
constexpr int Channels = 2;

// 5 s of a 997 Hz sine whose level steps every 70 ms, so every part of the signal moves the
// figures; the right channel at half the left. Interleaved.
std::vector<float> signal()
{
    std::vector<float> samples;
    for (int i = 0; i < 5 * Rate; ++i) {
        const double level = 0.05 + 0.9 * ((i / (Rate * 7 / 100)) % 11) / 10.0;
        const auto value = static_cast<float>(level * std::sin(2 * M_PI * 997.0 * i / Rate));
        samples.insert(samples.end(), {value, value / 2});
    }
    return samples;
}

// What libebur128 and the true-peak meter give for the samples in one piece.
LoudnessFigures measuredAtOnce(const std::vector<float>& samples, double& samplePeak)
{
    ebur128_state* state = ebur128_init(Channels, Rate, EBUR128_MODE_I | EBUR128_MODE_LRA);
    ebur128_add_frames_float(state, samples.data(), samples.size() / Channels);
    LoudnessFigures figures;
    ebur128_loudness_global(state, &figures.integrated);
    ebur128_loudness_range(state, &figures.range);
    ebur128_destroy(&state);
    samplePeak = 0.0;
    for (int c = 0; c < Channels; ++c) {
        TruePeak meter;
        const std::size_t count = samples.size() / Channels;
        float* out = meter.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            out[i] = samples[i * Channels + static_cast<std::size_t>(c)];
        meter.take(count);
        figures.truePeak = std::max(figures.truePeak, meter.peak());
        samplePeak = std::max(samplePeak, meter.samplePeak());
    }
    return figures;
}

// A frame of count samples from at, in format.
FramePtr frameOf(const std::vector<float>& samples, std::size_t at, int count,
                 AVSampleFormat format)
{
    FramePtr frame = makeFrame();
    frame->format = format;
    frame->nb_samples = count;
    frame->sample_rate = Rate;
    av_channel_layout_default(&frame->ch_layout, Channels);
    check(av_frame_get_buffer(frame.get(), 0), text("out of memory"));
    const bool planar = av_sample_fmt_is_planar(format);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < Channels; ++c) {
            const float value = samples[(at + static_cast<std::size_t>(i)) * Channels +
                                        static_cast<std::size_t>(c)];
            std::uint8_t* plane = frame->extended_data[planar ? c : 0];
            const int index = planar ? i : i * Channels + c;
            if (av_get_packed_sample_fmt(format) == AV_SAMPLE_FMT_DBL)
                reinterpret_cast<double*>(plane)[index] = value;
            else
                reinterpret_cast<float*>(plane)[index] = value;
        }
    return frame;
}

struct FeedCase {
    const char* name;
    AVSampleFormat format;
    int frameSamples;
};

void PrintTo(const FeedCase& c, std::ostream* os)
{
    *os << c.name;
}

class LoudnessFeed : public testing::TestWithParam<FeedCase>
{
};

TEST_P(LoudnessFeed, MeasuresEverySampleOnceInOrder)
{
    const FeedCase& c = GetParam();
    const std::vector<float> samples = signal();
    double samplePeak = 0.0;
    const LoudnessFigures expected = measuredAtOnce(samples, samplePeak);

    Loudness loudness(Channels, Rate);
    const std::size_t frames = samples.size() / Channels;
    for (std::size_t at = 0; at < frames; at += static_cast<std::size_t>(c.frameSamples)) {
        const int count =
            static_cast<int>(std::min(static_cast<std::size_t>(c.frameSamples), frames - at));
        loudness.add(*frameOf(samples, at, count, c.format));
    }
    loudness.finish();
    const LoudnessFigures got = loudness.figures();
    EXPECT_EQ(got.integrated, expected.integrated);
    EXPECT_EQ(got.range, expected.range);
    EXPECT_EQ(got.truePeak, expected.truePeak);
    EXPECT_EQ(loudness.samplePeak(), samplePeak);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Loudness, LoudnessFeed, testing::Values(
    FeedCase{"float_planes_ac3_frames", AV_SAMPLE_FMT_FLTP, 1536},
    FeedCase{"float_planes_one_sample", AV_SAMPLE_FMT_FLTP, 1},
    FeedCase{"float_planes_over_a_block", AV_SAMPLE_FMT_FLTP, 20000},
    FeedCase{"interleaved_layer2_frames", AV_SAMPLE_FMT_FLT, 1152},
    FeedCase{"double_planes", AV_SAMPLE_FMT_DBLP, 1000}),
    [](const testing::TestParamInfo<FeedCase>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet
