// SPDX-License-Identifier: GPL-3.0-or-later
// What a track delivers, checked from outside: every Layer II frame written is read by FFmpeg's
// MPEG audio reader, the summary line gives the loudness BS.1770 defines for known signals, and
// the AC3 dialogue level asked is in every frame, with frames that still check out.
#include "common/RunSummary.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

extern "C" {
#include <libavutil/crc.h>
}

namespace besweet::test
{
namespace
{

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> split;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        split.push_back(word);
    return split;
}

RunResult run(const ScratchFolder& folder, const Tone& tone, const std::string& output,
              const std::string& sections)
{
    writeWav(folder / "in.wav", tone);
    return runBesweet(
        besweetArguments(folder / "in.wav", folder / output, words(sections), folder / "o.log"));
}

// The frames in a raw MPEG-1 Layer II file, header after header.
std::int64_t framesWritten(const std::string& bytes)
{
    static const int kbps[] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    static const int rates[] = {44100, 48000, 32000};
    std::int64_t frames = 0;
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++frames) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
        if (byte(0) != 0xff || (byte(1) & 0xfe) != 0xfc || (byte(2) >> 4) == 0 ||
            (byte(2) >> 4) == 15 || ((byte(2) >> 2) & 3) == 3)
            throw std::runtime_error("no Layer II frame at " + std::to_string(at));
        at += static_cast<std::size_t>(144000 * kbps[byte(2) >> 4] / rates[(byte(2) >> 2) & 3] +
                                       ((byte(2) >> 1) & 1));
    }
    return frames;
}

// "frames: 42 written and decoded, 42 read by ..." in besweet's log: what its decode counted.
std::int64_t framesDecoded(const std::string& log)
{
    const auto at = log.find("frames: ");
    return at == std::string::npos ? -1 : std::stoll(log.substr(at + 8));
}

struct FramesCase {
    std::string name;
    std::string sections;
    int firstMode;                     // of the first two frames: 0 stereo, 1 joint, 2 dual, 3 mono
    bool noise = false;                // white noise, another on each side, instead of the tone
    const char* chunkFrames = nullptr; // BESWEET_CHUNK_FRAMES; "0": one encoder
};

void PrintTo(const FramesCase& c, std::ostream* os)
{
    *os << c.name;
}

class LayerIIFrames : public testing::TestWithParam<FramesCase>
{
};

// Near full scale with the two sides at different levels, libtwolame in joint stereo writes the
// first frame in the joint stereo mode and the next ones in plain stereo at most bitrates: the
// track then starts with two plain stereo frames. Noise that differs on each side needs joint
// stereo from the start, and keeps it.
TEST_P(LayerIIFrames, AreAllReadByFfmpegsReader)
{
    const FramesCase& c = GetParam();
    ScratchFolder folder;
    Tone tone{.rate = 48000, .seconds = 1.0, .amplitudes = {0.99, 0.5}, .frequency = 15000.0};
    if (c.chunkFrames)
        ::setenv("BESWEET_CHUNK_FRAMES", c.chunkFrames, 1);
    if (c.noise) {
        std::vector<double> samples(48000 * 2);
        std::uint32_t state = 1;
        for (double& sample : samples)
            sample = 0.9 * ((state = state * 1664525u + 1013904223u) / 2147483648.0 - 1.0);
        writeBytes(folder / "in.wav", wavBytes(samples, tone));
    } else {
        writeWav(folder / "in.wav", tone);
    }
    const RunResult result = runBesweet(
        besweetArguments(folder / "in.wav", folder / "o.mpa", words(c.sections), folder / "o.log"));
    ::unsetenv("BESWEET_CHUNK_FRAMES");
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const std::int64_t written = framesWritten(readBytes(folder / "o.mpa"));
    EXPECT_GE(written, 42);
    EXPECT_EQ(static_cast<std::int64_t>(packetPositions(folder / "o.mpa").size()), written);
    EXPECT_EQ(framesDecoded(readBytes(folder / "o.log")), written);
    const std::vector<int> modes = layerIIModes(folder / "o.mpa");
    ASSERT_GE(modes.size(), 2U);
    EXPECT_EQ(modes[0], c.firstMode);
    EXPECT_EQ(modes[1], c.firstMode);
    // A track near full scale may clip, and says so; no frame is skipped.
    EXPECT_EQ(result.err.find("skip"), std::string::npos) << result.err;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, LayerIIFrames, testing::Values(
    FramesCase{"joint_64", "-toolame( -m j -b 64 )", 0},
    FramesCase{"joint_128", "-toolame( -m j -b 128 )", 0},
    FramesCase{"joint_192", "-toolame( -m j -b 192 )", 0},
    FramesCase{"joint_224", "-toolame( -m j -b 224 )", 0},
    FramesCase{"joint_256", "-toolame( -m j -b 256 )", 0},
    FramesCase{"joint_384", "-toolame( -m j -b 384 )", 0},
    FramesCase{"joint_224_normalised", "-ota( -norm 0.95 ) -toolame( -m j -b 224 )", 0},
    FramesCase{"joint_192_full_scale", "-ota( -norm 1.0 ) -toolame( -m j -b 192 )", 0},
    FramesCase{"joint_224_one_encoder", "-toolame( -m j -b 224 )", 0, false, "0"},
    FramesCase{"joint_224_short_chunks", "-toolame( -m j -b 224 )", 0, false, "1"},
    FramesCase{"joint_noise_stays_joint", "-toolame( -m j -b 128 )", 1, true},
    FramesCase{"joint_noise_normalised", "-ota( -norm 0.9 ) -toolame( -m j -b 224 )", 1, true},
    FramesCase{"stereo_224", "-toolame( -m s -b 224 )", 0},
    FramesCase{"dual_192", "-toolame( -m d -b 192 )", 2},
    FramesCase{"mono_192", "-toolame( -m m -b 192 )", 3}),
    [](const testing::TestParamInfo<FramesCase>& info) { return info.param.name; });
// clang-format on

struct SummaryCase {
    std::string name;
    std::vector<double> amplitudes; // of a 997 Hz sine, per channel
    std::string output;
    std::string sections;
    double lufs;                // as BS.1770 defines it for the signal
    std::optional<double> dbtp; // none: the track is not decoded, so no true peak is given
};

void PrintTo(const SummaryCase& c, std::ostream* os)
{
    *os << c.name;
}

class Summary : public testing::TestWithParam<SummaryCase>
{
};

struct SummaryFigures {
    double minutes = 0, seconds = 0, lufs = 0, lra = 0;
    std::optional<double> dbtp;
};

SummaryFigures figuresOf(const std::string& line)
{
    SummaryFigures f;
    double dbtp = 0;
    const auto comma = line.find(", ");
    const int got = comma == std::string::npos
                        ? 0
                        : std::sscanf(line.c_str() + line.rfind(' ', comma) + 1,
                                      "%lf:%lf, %lf LUFS, LRA %lf LU, %lf", &f.minutes, &f.seconds,
                                      &f.lufs, &f.lra, &dbtp);
    if (got < 4)
        throw std::runtime_error("no figures in '" + line + "'");
    if (got == 5)
        f.dbtp = dbtp;
    return f;
}

// ITU-R BS.1770-4: a 0 dBFS 1 kHz sine in one of the front channels reads -3.01 LKFS, and the
// channels' powers add: the same sine at -20 dBFS in both channels reads -20.0 LUFS.
TEST_P(Summary, GivesTheLoudnessBs1770DefinesForTheSignal)
{
    const SummaryCase& c = GetParam();
    ScratchFolder folder;
    const Tone tone{.rate = 48000,
                    .seconds = 6.0,
                    .amplitudes = c.amplitudes,
                    .frequency = 997.0,
                    .type = SampleType::F32};
    const RunResult result = run(folder, tone, c.output, c.sections);
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const std::string line = klangdorn::RunSummaryOf(result.out);
    ASSERT_EQ(line.rfind("Delivered: ", 0), 0U) << result.out;
    const SummaryFigures got = figuresOf(line);
    const Decoded track = decodeFile(folder / c.output);
    EXPECT_NEAR(got.minutes * 60 + got.seconds, track.seconds(), 0.05);
    EXPECT_NEAR(got.lufs, c.lufs, 0.1) << line;
    EXPECT_NEAR(got.lra, 0.0, 0.1) << line;
    ASSERT_EQ(got.dbtp.has_value(), c.dbtp.has_value()) << line;
    if (c.dbtp) {
        EXPECT_NEAR(*got.dbtp, *c.dbtp, 0.2) << line;
    }
    EXPECT_NE(readBytes(folder / "o.log").find(line + "\n"), std::string::npos);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, Summary, testing::Values(
    SummaryCase{"both_channels_ac3", {0.1}, "o.ac3", "-ac3enc( -b 192 )", -20.0, std::nullopt},
    SummaryCase{"both_channels_layer2", {0.1}, "o.mpa", "-toolame( -m j -b 224 )", -20.0, std::nullopt},
    SummaryCase{"both_channels_wav", {0.1}, "o.wav", "", -20.0, std::nullopt},
    SummaryCase{"left_only_ac3", {0.1, 0.0}, "o.ac3", "-ac3enc( -b 192 )", -23.0, std::nullopt},
    SummaryCase{"near_full_scale_decoded", {0.9}, "o.ac3", "-ac3enc( -b 192 )", -0.9, -0.9},
    SummaryCase{"normalised_to_half", {0.1}, "o.ac3", "-ota( -norm 0.5 ) -ac3enc( -b 192 )",
                -6.0, -6.0}),
    [](const testing::TestParamInfo<SummaryCase>& info) { return info.param.name; });
// clang-format on

struct SaysCase {
    std::string name;
    double amplitude; // of white noise in both channels; 0: silence
    std::string output;
    std::string sections;
    const char* warning; // the one warning on standard error; nullptr: none
    bool decoded;        // the summary gives a true peak
    int kbps = 0;        // of every Layer II frame, where given
};

void PrintTo(const SaysCase& c, std::ostream* os)
{
    *os << c.name;
}

class Says : public testing::TestWithParam<SaysCase>
{
};

// A plain run decodes its track only where it may clip, and says when it does; a track that
// cannot be had as asked says why.
TEST_P(Says, WhatTheTrackIs)
{
    const SaysCase& c = GetParam();
    ScratchFolder folder;
    const Tone format{.rate = 48000, .seconds = 2.0, .type = SampleType::F32};
    std::vector<double> samples(48000 * 2 * 2);
    std::uint32_t state = 1;
    for (double& sample : samples)
        sample = c.amplitude * ((state = state * 1664525u + 1013904223u) / 2147483648.0 - 1.0);
    writeBytes(folder / "in.wav", wavBytes(samples, format));
    const RunResult result = runBesweet(besweetArguments(folder / "in.wav", folder / c.output,
                                                         words(c.sections), folder / "o.log"));
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const std::string summary = klangdorn::RunSummaryOf(result.out);
    EXPECT_EQ(figuresOf(summary).dbtp.has_value(), c.decoded) << summary;
    std::size_t warnings = 0;
    for (auto at = result.err.find("besweet: warning: "); at != std::string::npos;
         at = result.err.find("besweet: warning: ", at + 1))
        ++warnings;
    EXPECT_EQ(warnings, c.warning ? 1U : 0U) << result.err;
    if (c.warning) {
        EXPECT_NE(result.err.find(c.warning), std::string::npos) << result.err;
    }
    if (c.kbps > 0) {
        const std::string bytes = readBytes(folder / c.output);
        EXPECT_EQ(framesWritten(bytes) * 144 * c.kbps * 1000 / 48000,
                  static_cast<std::int64_t>(bytes.size()));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, Says, testing::Values(
    SaysCase{"full_scale_ac3_clips", 1.0, "o.ac3", "-ac3enc( -b 192 )", "normalise it to 95 %", true},
    SaysCase{"full_scale_layer2_clips", 1.0, "o.mpa", "-toolame( -m j -b 224 )", "normalise it to 95 %", true},
    SaysCase{"near_full_scale_decoded_unclipped", 0.55, "o.ac3", "-ac3enc( -b 448 )", nullptr, true},
    SaysCase{"quiet_not_decoded", 0.1, "o.ac3", "-ac3enc( -b 192 )", nullptr, false},
    SaysCase{"mono_above_192_kbps", 0.1, "o.mpa", "-toolame( -m m -b 256 )", "at most 192 kbps", false, 192},
    SaysCase{"norm_on_silence", 0.0, "o.ac3", "-ota( -norm 0.95 ) -ac3enc( -b 192 )", "nothing to raise", false}),
    [](const testing::TestParamInfo<SaysCase>& info) { return info.param.name; });
// clang-format on

struct DialnormCase {
    std::string name;
    double amplitude; // of a 997 Hz sine in both channels
    std::string sections;
    int dialnorm;
};

void PrintTo(const DialnormCase& c, std::ostream* os)
{
    *os << c.name;
}

class Dialnorm : public testing::TestWithParam<DialnormCase>
{
};

// The dialogue level of each AC3 frame (two channels: after 40 bits of sync information,
// bsid, bsmod, acmod, dsurmod and lfeon), and whether the frame passes the decoder's checksum
// test (the remainder of everything after the sync word is zero) and that of its first five
// eighths.
TEST_P(Dialnorm, IsInEveryFrameThatStillChecksOut)
{
    const DialnormCase& c = GetParam();
    ScratchFolder folder;
    const Tone tone{.rate = 48000,
                    .seconds = 3.5,
                    .amplitudes = {c.amplitude},
                    .frequency = 997.0,
                    .type = SampleType::F32};
    const RunResult result = run(folder, tone, "o.ac3", c.sections);
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const std::string bytes = readBytes(folder / "o.ac3");
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const AVCRC* crc = av_crc_get_table(AV_CRC_16_ANSI);
    const std::size_t frameBytes = 192000 / 8 * 1536 / 48000;
    ASSERT_EQ(bytes.size() % frameBytes, 0U);
    for (std::size_t at = 0; at < bytes.size(); at += frameBytes) {
        const std::uint8_t* frame = data + at;
        ASSERT_EQ(frame[6] >> 5, 2) << "2/0";
        const int stored = ((frame[6] & 0x3) << 3) | (frame[7] >> 5);
        ASSERT_EQ(-stored, c.dialnorm) << "frame at " << at;
        const std::size_t firstPart = ((frameBytes >> 2) + (frameBytes >> 4)) << 1;
        ASSERT_EQ(av_crc(crc, 0, frame + 2, firstPart - 2), 0U) << "frame at " << at;
        ASSERT_EQ(av_crc(crc, 0, frame + 2, frameBytes - 2), 0U) << "frame at " << at;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, Dialnorm, testing::Values(
    DialnormCase{"default_leaves_the_level", 0.1, "-ac3enc( -b 192 )", -31},
    DialnormCase{"asked", 0.1, "-ac3enc( -b 192 -dialnorm -27 )", -27},
    DialnormCase{"asked_highest", 0.1, "-ac3enc( -b 192 -dialnorm -1 )", -1},
    DialnormCase{"measured", 0.1, "-ac3enc( -b 192 -dialnorm auto )", -20},
    DialnormCase{"measured_after_normalising", 0.1, "-ota( -norm 0.5 ) -ac3enc( -b 192 -dialnorm auto )", -6},
    DialnormCase{"measured_too_quiet", 0.001, "-ac3enc( -b 192 -dialnorm auto )", -31},
    DialnormCase{"measured_too_loud", 0.99, "-ac3enc( -b 192 -dialnorm auto )", -1}),
    [](const testing::TestParamInfo<DialnormCase>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet::test
