// SPDX-License-Identifier: GPL-3.0-or-later
// Where each input channel ends up: every channel of a wide, tall or unmasked WAV reaches the
// stereo mix, heard by decoding the track made from a tone in that channel alone.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>

namespace besweet::test
{
namespace
{

// A WAV file's canonical header made WAVE_FORMAT_EXTENSIBLE, declaring the channel mask.
std::string withChannelMask(const std::string& wav, std::uint32_t mask)
{
    const auto le = [](std::uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>(value >> (8 * i) & 0xff);
        return out;
    };
    const std::string format = wav.substr(22, 14); // channels .. bits per sample
    const std::string data = wav.substr(36);
    static const std::string pcmGuid(
        "\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 16);
    return "RIFF" + le(static_cast<std::uint32_t>(4 + 48 + data.size()), 4) + "WAVEfmt " +
           le(40, 4) + le(0xfffe, 2) + format + le(22, 2) + le(16, 2) + le(mask, 4) + pcmGuid +
           data;
}

struct Layout {
    std::string name;
    int channels;
    std::uint32_t mask; // 0: none
    int declaredLfe;    // the channel a downmix leaves out, or -1
    std::string logSays;
};

void PrintTo(const Layout& c, std::ostream* os)
{
    *os << c.name;
}

class ChannelLayouts : public testing::TestWithParam<Layout>
{
};

TEST_P(ChannelLayouts, EveryChannelReachesTheStereoMix)
{
    const Layout& c = GetParam();
    ScratchFolder folder;
    for (int channel = 0; channel < c.channels; ++channel) {
        SCOPED_TRACE("tone in channel " + std::to_string(channel + 1));
        Tone tone{.rate = 48000, .channels = c.channels, .seconds = 0.5};
        tone.amplitudes.assign(static_cast<std::size_t>(c.channels), 0.0);
        tone.amplitudes[static_cast<std::size_t>(channel)] = 0.5;
        const std::string wav = wavBytes(tone);
        writeBytes(folder / "in.wav", c.mask ? withChannelMask(wav, c.mask) : wav);
        const RunResult run = runBesweet(
            besweetArguments(folder / "in.wav", folder / "out.wav", {}, folder / "run.log"));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Decoded out = decodeFile(folder / "out.wav");
        ASSERT_EQ(out.channels, 2);
        if (channel == c.declaredLfe)
            EXPECT_LT(out.peak, 1e-3);
        else
            EXPECT_GT(toDecibels(out.peak), -40.0) << readBytes(folder / "run.log");
    }
    EXPECT_NE(readBytes(folder / "run.log").find(c.logSays), std::string::npos);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, ChannelLayouts, testing::Values(
    Layout{"three_unmasked", 3, 0, -1, "usual 2.1 positions, the LFE channel as a centre"},
    Layout{"six_unmasked", 6, 0, -1, "usual 5.1 positions"},
    Layout{"ten_unmasked", 10, 0, -1, "channels 3 to 10 mixed evenly into both sides"},
    Layout{"sixteen_unmasked", 16, 0, -1, "TFL TFC TFR TBL TBC TBR WL WR folded"},
    Layout{"twenty_four_unmasked", 24, 0, -1, "usual 22.2 positions"},
    // FL FR FC LFE BL BR SL SR and four above: TFL TFR TBL TBR.
    Layout{"seven_one_four", 12, 0x3f | 0x600 | 0x1000 | 0x4000 | 0x8000 | 0x20000, 3,
           "mixing: TFL TFR TBL TBR folded into the nearest ear-level positions"},
    // Front pair and one side channel only.
    Layout{"front_and_left_side", 3, 0x3 | 0x200, -1, "mixing: 3 channels"}),
    [](const testing::TestParamInfo<Layout>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet::test
