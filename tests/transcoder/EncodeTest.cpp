// SPDX-License-Identifier: GPL-3.0-or-later
// besweet run for real on generated inputs; every output is decoded and checked for codec,
// rate, bitrate, channels, Layer II mode bits and length.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

namespace besweet::test
{
namespace
{

struct EncodeCase {
    std::string name;
    Tone tone;
    std::string input;    // .wav, or .pcm/.raw/with -fs for raw PCM
    std::string sections; // after -core( ... ), split at blanks
    std::string output;
    std::string codec;
    int rate;
    std::int64_t bitRate; // 0: not checked (PCM)
    int channels;
    int modeBits; // Layer II header mode, -1 for other codecs
};

void PrintTo(const EncodeCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<std::string> coreSection(const ScratchFolder& folder, const std::string& input,
                                     const std::string& output)
{
    return {"-core(", "-input", (folder / input).string(), "-output", (folder / output).string(),
            ")"};
}

void writeInput(const ScratchFolder& folder, const std::string& name, const Tone& tone)
{
    if (name.ends_with(".wav"))
        writeWav(folder / name, tone);
    else
        writeRawPcm(folder / name, tone);
}

class Encodes : public testing::TestWithParam<EncodeCase>
{
};

TEST_P(Encodes, TheTrackAsAsked)
{
    const EncodeCase& c = GetParam();
    ScratchFolder folder;
    writeInput(folder, c.input, c.tone);
    auto arguments = coreSection(folder, c.input, c.output);
    for (std::istringstream words(c.sections); words >> arguments.emplace_back();)
        ;
    arguments.pop_back();

    const RunResult run = runBesweet(arguments);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.errors().empty()) << run.err;

    const Decoded got = decodeFile(folder / c.output);
    EXPECT_EQ(got.codec, c.codec);
    EXPECT_EQ(got.rate, c.rate);
    if (c.bitRate) {
        EXPECT_EQ(got.bitRate, c.bitRate);
    }
    EXPECT_EQ(got.channels, c.channels);
    if (c.modeBits >= 0) {
        // libtwolame writes a joint stereo frame that needs no joint coding as plain stereo; the
        // first two share their mode, so that FFmpeg's reader keeps them.
        const std::vector<int> modes = layerIIModes(folder / c.output);
        ASSERT_GE(modes.size(), 2U);
        EXPECT_EQ(modes[0], modes[1]);
        for (const int mode : modes)
            ASSERT_TRUE(mode == c.modeBits || (c.modeBits == 1 && mode == 0)) << mode;
    }

    const double expected = c.tone.seconds * c.rate;
    const double oneFrame = c.codec == "ac3" ? 1536 : c.codec == "mp2" ? 1152 : 1;
    EXPECT_NEAR(static_cast<double>(got.samples), expected, oneFrame) << "samples";
    // Nothing but the input and the track is left in the folder.
    EXPECT_EQ(folder.names().size(), 2U);
}

Tone tone(int rate, int channels, double seconds = 2.5, SampleType type = SampleType::S16)
{
    Tone t;
    t.rate = rate;
    t.channels = channels;
    t.seconds = seconds;
    t.type = type;
    t.amplitudes = {0.5, 0.3, 0.2, 0.2, 0.1, 0.2};
    return t;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, Encodes, testing::Values(
    EncodeCase{"ac3_192", tone(44100, 2), "in.wav", "-ac3enc( -b 192 )", "o.ac3", "ac3", 44100, 192000, 2, -1},
    EncodeCase{"ac3_mono_source_stays_mono", tone(48000, 1), "in.wav", "", "o.ac3", "ac3", 48000, 192000, 1, -1},
    EncodeCase{"layer2_joint_224_resampled", tone(44100, 2), "in.wav", "-ssrc( --rate 48000 ) -toolame( -m j -b 224 )", "o.mpa", "mp2", 48000, 224000, 2, 1},
    EncodeCase{"layer2_stereo_192", tone(48000, 2), "in.wav", "-toolame( -m s -b 192 )", "o.mpa", "mp2", 48000, 192000, 2, 0},
    EncodeCase{"layer2_dual_256", tone(48000, 2), "in.wav", "-toolame( -m d -b 256 )", "o.mpa", "mp2", 48000, 256000, 2, 2},
    EncodeCase{"layer2_mono_mixdown", tone(48000, 2), "in.wav", "-toolame( -m m -b 192 )", "o.mpa", "mp2", 48000, 192000, 1, 3},
    EncodeCase{"layer2_from_mono_source_joint", tone(48000, 1), "in.wav", "-toolame( -m j -b 224 )", "o.mpa", "mp2", 48000, 224000, 2, 1},
    EncodeCase{"raw_pcm_at_fs_32000", tone(32000, 2), "in.bin", "-ota( -fs 32000 ) -ac3enc( -b 256 )", "o.ac3", "ac3", 32000, 256000, 2, -1},
    EncodeCase{"pcm_extension_is_raw_at_48000", tone(48000, 2), "in.pcm", "", "o.mp2", "mp2", 48000, 224000, 2, 1},
    EncodeCase{"rate_the_encoder_cannot_take_goes_to_48000", tone(22050, 2), "in.wav", "", "o.ac3", "ac3", 48000, 192000, 2, -1},
    EncodeCase{"six_channels_mixed_to_stereo", tone(48000, 6), "in.wav", "", "o.ac3", "ac3", 48000, 192000, 2, -1},
    EncodeCase{"s24_wav_resampled_to_wav", tone(32000, 2, 1.3, SampleType::S24), "in.wav", "-ssrc( --rate 48000 )", "o.wav", "pcm_s16le", 48000, 0, 2, -1}),
    [](const testing::TestParamInfo<EncodeCase>& info) { return info.param.name; });
// clang-format on

TEST(Besweet, DecodesMpegAudioAndAc3Inputs)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", tone(48000, 2));
    ASSERT_EQ(runBesweet(coreSection(folder, "in.wav", "first.mpa")).exitCode, 0);
    ASSERT_EQ(runBesweet(coreSection(folder, "in.wav", "first.ac3")).exitCode, 0);

    const RunResult fromLayerII = runBesweet(coreSection(folder, "first.mpa", "second.ac3"));
    ASSERT_EQ(fromLayerII.exitCode, 0) << fromLayerII.err;
    const RunResult fromAc3 = runBesweet(coreSection(folder, "first.ac3", "second.wav"));
    ASSERT_EQ(fromAc3.exitCode, 0) << fromAc3.err;

    // Each generation may add up to a frame of encoder delay and padding.
    EXPECT_NEAR(decodeFile(folder / "second.ac3").seconds(), 2.5, 2 * 1536 / 48000.0 + 0.03);
    const Decoded wav = decodeFile(folder / "second.wav");
    EXPECT_NEAR(wav.seconds(), 2.5, 2 * 1536 / 48000.0);
    EXPECT_NEAR(wav.peak, 0.5, 0.05);
}

TEST(Besweet, ReplacesAnExistingTargetAndKeepsItsNameOnly)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", tone(48000, 2, 1.0));
    writeBytes(folder / "o.ac3", "an older take");
    const RunResult run = runBesweet(coreSection(folder, "in.wav", "o.ac3"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(decodeFile(folder / "o.ac3").codec, "ac3");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav", "o.ac3"}));
}

} // namespace
} // namespace besweet::test
