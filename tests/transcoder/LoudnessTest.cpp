// SPDX-License-Identifier: GPL-3.0-or-later
// The loudness meter against libebur128 (integrated loudness) and against the values EBU Tech 3341
// and 3342 state for their test signals, built here by their description; and, however the
// samples come (frames of any size and format, channels split between threads, a gain given
// afterwards), the figures of the whole signal in one piece.
#include "level/LoudnessMeter.h"

#include <cmath>
#include <ebur128.h>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <vector>

namespace besweet
{
namespace
{

// A stretch of a 1 kHz sine (or pink noise) at a level per channel, dBFS (-200: silent).
struct Stretch {
    double seconds;
    std::vector<double> dBFS; // one for every channel, or one for all
};

struct Signal {
    int rate;
    const char* layout; // FFmpeg's name
    std::vector<Stretch> stretches;
    bool pink = false;
};

// Planes of the signal, one per channel.
std::vector<std::vector<float>> planesOf(const Signal& s, int channels)
{
    std::vector<std::vector<float>> planes(static_cast<std::size_t>(channels));
    std::mt19937 random(5);
    std::normal_distribution<double> white(0.0, 1.0);
    double b[7] = {};
    long long n = 0;
    for (const Stretch& stretch : s.stretches)
        for (long long end = n + std::llround(stretch.seconds * s.rate); n < end; ++n) {
            double v = std::sin(2 * M_PI * 1000.0 * static_cast<double>(n) / s.rate);
            if (s.pink) { // filtered white noise, -3 dB an octave, peaks near 1
                const double w = white(random) * 0.05;
                b[0] = 0.99886 * b[0] + w * 0.0555179;
                b[1] = 0.99332 * b[1] + w * 0.0750759;
                b[2] = 0.96900 * b[2] + w * 0.1538520;
                b[3] = 0.86650 * b[3] + w * 0.3104856;
                b[4] = 0.55000 * b[4] + w * 0.5329522;
                b[5] = -0.7616 * b[5] - w * 0.0168980;
                v = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
                b[6] = w * 0.115926;
            }
            for (std::size_t c = 0; c < planes.size(); ++c) {
                const double level = stretch.dBFS[std::min(c, stretch.dBFS.size() - 1)];
                planes[c].push_back(static_cast<float>(v * std::pow(10.0, level / 20.0)));
            }
        }
    return planes;
}

AVChannelLayout layoutOf(const char* name)
{
    AVChannelLayout layout{};
    if (av_channel_layout_from_string(&layout, name) < 0)
        throw std::runtime_error(name);
    return layout;
}

double ebur128Integrated(const std::vector<std::vector<float>>& planes, int rate)
{
    const auto channels = static_cast<unsigned>(planes.size());
    ebur128_state* state = ebur128_init(channels, static_cast<unsigned long>(rate), EBUR128_MODE_I);
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < planes[0].size(); ++i)
        for (const auto& plane : planes)
            interleaved.push_back(plane[i]);
    ebur128_add_frames_float(state, interleaved.data(), planes[0].size());
    double integrated = 0.0;
    ebur128_loudness_global(state, &integrated);
    ebur128_destroy(&state);
    return integrated;
}

struct LoudnessCase {
    const char* name;
    Signal signal;
    std::optional<double> integrated; // stated; else libebur128's alone
    std::optional<double> range;      // stated (LU)
};

void PrintTo(const LoudnessCase& c, std::ostream* os)
{
    *os << c.name;
}

class LoudnessTable : public testing::TestWithParam<LoudnessCase>
{
};

TEST_P(LoudnessTable, MeetsTheStatedValuesAndLibebur128)
{
    const LoudnessCase& c = GetParam();
    const AVChannelLayout layout = layoutOf(c.signal.layout);
    const auto planes = planesOf(c.signal, layout.nb_channels);
    LoudnessMeter meter(layout, c.signal.rate);
    std::vector<const float*> at(planes.size());
    // Frames of an odd size, so they straddle the steps.
    for (std::size_t from = 0; from < planes[0].size(); from += 1000) {
        for (std::size_t ch = 0; ch < planes.size(); ++ch)
            at[ch] = planes[ch].data() + from;
        meter.add(at.data(), std::min<std::size_t>(1000, planes[0].size() - from), 0, at.size());
    }
    const LoudnessFigures got = meter.figures();

    const double oracle = ebur128Integrated(planes, c.signal.rate);
    if (std::isinf(oracle))
        EXPECT_EQ(got.integrated, oracle);
    else
        EXPECT_NEAR(got.integrated, oracle, 0.05);
    if (c.integrated) {
        EXPECT_NEAR(got.integrated, *c.integrated, 0.1);
    }
    if (c.range) {
        EXPECT_NEAR(got.range, *c.range, 0.5);
    }
}

Signal sine(int rate, const char* layout, std::vector<Stretch> stretches)
{
    return {rate, layout, std::move(stretches)};
}

// The case: 4 s at -6 dBFS and 4 s at -50 dBFS in turn, 40 s; ffmpeg's ebur128 filter
// gives LRA 8.7 LU for it.
std::vector<Stretch> alternating()
{
    std::vector<Stretch> stretches;
    for (int i = 0; i < 5; ++i)
        stretches.insert(stretches.end(), {{4.0, {-6.0}}, {4.0, {-50.0}}});
    return stretches;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Loudness, LoudnessTable, testing::Values(
    LoudnessCase{"sine_minus_20", sine(48000, "stereo", {{10, {-20}}}), -20.0, 0.0},
    LoudnessCase{"sine_minus_30_mono_44k", sine(44100, "mono", {{10, {-30}}}), -33.0, 0.0},
    LoudnessCase{"tech3341_minus_23", sine(48000, "stereo", {{20, {-23}}}), -23.0, std::nullopt},
    LoudnessCase{"tech3341_minus_33_32k", sine(32000, "stereo", {{20, {-33}}}), -33.0, std::nullopt},
    LoudnessCase{"tech3341_relative_gate", sine(48000, "stereo", {{10, {-36}}, {60, {-23}}, {10, {-36}}}), -23.0, std::nullopt},
    LoudnessCase{"tech3341_absolute_gate", sine(48000, "stereo", {{10, {-72}}, {10, {-36}}, {60, {-23}}, {10, {-36}}, {10, {-72}}}), -23.0, std::nullopt},
    LoudnessCase{"tech3341_steps", sine(44100, "stereo", {{20, {-26}}, {20.1, {-20}}, {20, {-26}}}), -23.0, std::nullopt},
    LoudnessCase{"tech3341_five_channels", sine(48000, "5.1", {{20, {-28, -28, -24, -20, -30, -30}}}), -23.0, std::nullopt},
    LoudnessCase{"tech3342_10_lu", sine(48000, "stereo", {{20, {-20}}, {20, {-30}}}), std::nullopt, 10.0},
    LoudnessCase{"tech3342_5_lu", sine(48000, "stereo", {{20, {-20}}, {20, {-15}}}), std::nullopt, 5.0},
    LoudnessCase{"tech3342_20_lu", sine(44100, "stereo", {{20, {-40}}, {20, {-20}}}), std::nullopt, 20.0},
    LoudnessCase{"tech3342_15_lu", sine(32000, "stereo", {{20, {-50}}, {20, {-35}}, {20, {-20}}, {20, {-35}}, {20, {-50}}}), std::nullopt, 15.0},
    LoudnessCase{"short_term_every_100_ms", sine(48000, "stereo", alternating()), std::nullopt, 8.7},
    LoudnessCase{"pink_noise_32k", Signal{32000, "stereo", {{15, {-12, -15}}}, true}, std::nullopt, std::nullopt},
    LoudnessCase{"pink_noise_six_channels", Signal{48000, "5.1", {{8, {-10, -12, -14, -16, -18, -20}}}, true}, std::nullopt, std::nullopt},
    LoudnessCase{"silence", sine(48000, "stereo", {{5, {-200}}}), std::nullopt, 0.0},
    LoudnessCase{"shorter_than_a_block", sine(48000, "stereo", {{0.35, {-20}}}), std::nullopt, 0.0}),
    [](const testing::TestParamInfo<LoudnessCase>& info) { return info.param.name; });
// clang-format on

// One frame of planes in the format, from the frame at.
FramePtr frameOf(const std::vector<std::vector<float>>& planes, std::size_t at, int count,
                 AVSampleFormat format)
{
    FramePtr frame = makeFrame();
    frame->format = format;
    frame->nb_samples = count;
    frame->sample_rate = 44100;
    const int channels = static_cast<int>(planes.size());
    av_channel_layout_default(&frame->ch_layout, channels);
    check(av_frame_get_buffer(frame.get(), 0), text("out of memory"));
    const bool planar = av_sample_fmt_is_planar(format);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < channels; ++c) {
            const float value =
                planes[static_cast<std::size_t>(c)][at + static_cast<std::size_t>(i)];
            std::uint8_t* plane = frame->extended_data[planar ? c : 0];
            const int index = planar ? i : i * channels + c;
            switch (av_get_packed_sample_fmt(format)) {
            case AV_SAMPLE_FMT_DBL:
                reinterpret_cast<double*>(plane)[index] = value;
                break;
            case AV_SAMPLE_FMT_S16:
                reinterpret_cast<std::int16_t*>(plane)[index] =
                    static_cast<std::int16_t>(std::lrint(value * 32768.0f));
                break;
            default:
                reinterpret_cast<float*>(plane)[index] = value;
            }
        }
    return frame;
}

struct FeedCase {
    const char* name;
    AVSampleFormat format;
    int frameSamples;
    bool split;  // the channels measured in two shares
    double gain; // given afterwards
};

void PrintTo(const FeedCase& c, std::ostream* os)
{
    *os << c.name;
}

class LoudnessFeed : public testing::TestWithParam<FeedCase>
{
};

// 6 s of pink noise whose level steps every 0.7 s, the right channel 4 dB below the left.
TEST_P(LoudnessFeed, GivesTheFiguresOfTheWholeSignal)
{
    const FeedCase& c = GetParam();
    std::vector<Stretch> stretches;
    for (int i = 0; i < 9; ++i)
        stretches.push_back({0.7, {-30.0 + 3 * (i % 5), -34.0 + 3 * (i % 5)}});
    auto planes = planesOf({44100, "stereo", stretches, true}, 2);
    const AVChannelLayout stereo = layoutOf("stereo");
    // The signal at the gain, in one piece.
    LoudnessMeter whole(stereo, 44100);
    for (auto& plane : planes)
        for (float& v : plane)
            v = static_cast<float>(v * c.gain);
    const float* all[] = {planes[0].data(), planes[1].data()};
    whole.add(all, planes[0].size(), 0, 2);
    for (auto& plane : planes)
        for (float& v : plane)
            v = static_cast<float>(v / c.gain);

    LoudnessMeter fed(stereo, 44100);
    const std::size_t frames = planes[0].size();
    for (std::size_t at = 0; at < frames; at += static_cast<std::size_t>(c.frameSamples)) {
        const int count =
            static_cast<int>(std::min(static_cast<std::size_t>(c.frameSamples), frames - at));
        if (c.split) {
            const float* from[] = {planes[0].data() + at, planes[1].data() + at};
            fed.add(from, static_cast<std::size_t>(count), 1, 2);
            fed.add(from, static_cast<std::size_t>(count), 0, 1);
        } else {
            fed.add(*frameOf(planes, at, count, c.format));
        }
    }
    const LoudnessFigures expected = whole.figures();
    const LoudnessFigures got = fed.figures(c.gain);
    const double tolerance = c.format == AV_SAMPLE_FMT_S16 ? 0.01 : c.gain == 1.0 ? 1e-6 : 1e-3;
    EXPECT_NEAR(got.integrated, expected.integrated, tolerance);
    EXPECT_NEAR(got.range, expected.range, tolerance);
    EXPECT_GT(got.range, 1.0);
    EXPECT_NEAR(fed.samplePeak() * c.gain, whole.samplePeak(), 1e-4);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Loudness, LoudnessFeed, testing::Values(
    FeedCase{"float_planes_ac3_frames", AV_SAMPLE_FMT_FLTP, 1536, false, 1.0},
    FeedCase{"float_planes_one_sample", AV_SAMPLE_FMT_FLTP, 1, false, 1.0},
    FeedCase{"interleaved_layer2_frames", AV_SAMPLE_FMT_FLT, 1152, false, 1.0},
    FeedCase{"s16_wav", AV_SAMPLE_FMT_S16, 4096, false, 1.0},
    FeedCase{"double_planes_over_steps", AV_SAMPLE_FMT_DBLP, 20000, false, 1.0},
    FeedCase{"channels_split", AV_SAMPLE_FMT_FLTP, 4096, true, 1.0},
    FeedCase{"gain_given_afterwards", AV_SAMPLE_FMT_FLTP, 4096, false, 4.0},
    FeedCase{"gain_sinks_some_under_the_absolute_gate", AV_SAMPLE_FMT_FLTP, 4096, false, 0.04}),
    [](const testing::TestParamInfo<FeedCase>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet
