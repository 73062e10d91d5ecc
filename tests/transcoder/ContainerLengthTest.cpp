// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs by their container: every header that declares a length holds a file cut short to it,
// raw PCM (-fs) never reads a known format as samples, a TS recording with runs of zeros and MP3
// files joined with cat are read whole, and a WAV over 4 GiB is read to its end.
#include "Input.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"
#include "support/Encoded.h"

#include <cmath>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace besweet::test
{
namespace
{

struct Container {
    std::string name;
    std::string encoder;
    std::string muxer;
    std::string options = {};
};

void PrintTo(const Container& c, std::ostream* os)
{
    *os << c.name;
}

Tone containerTone()
{
    Tone tone;
    tone.rate = 48000;
    tone.seconds = 4.0;
    tone.amplitudes = {0.5, 0.25};
    return tone;
}

class DeclaredLength : public testing::TestWithParam<Container>
{
};

// Whole, the file gives all its audio; cut to 45 %, it is refused with one line, not taken as a
// shorter track.
TEST_P(DeclaredLength, IsHeldOrTheFileIsCutShort)
{
    const Container& c = GetParam();
    ScratchFolder folder;
    const auto whole = folder / ("whole." + c.name);
    writeEncoded(whole, containerTone(), c.encoder, c.muxer, c.options);
    const RunResult wholeRun = runBesweet(besweetArguments(whole, folder / "whole.wav", {}));
    ASSERT_EQ(wholeRun.exitCode, 0) << wholeRun.err;
    const Decoded got = decodeFile(folder / "whole.wav");
    EXPECT_EQ(got.samples, 4 * 48000);
    EXPECT_NEAR(got.peak, 0.5, 0.01);

    const std::string bytes = readBytes(whole);
    const auto cut = folder / ("cut." + c.name);
    writeBytes(cut, bytes.substr(0, bytes.size() * 45 / 100));
    const RunResult run = runBesweet(besweetArguments(cut, folder / "cut.wav", {}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("besweet: " + cut.string() + ": is cut short: its ", 0), 0U) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "cut.wav"));
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, DeclaredLength,
    testing::Values(Container{"rf64", "pcm_s16le", "wav", "rf64=always"},
                    Container{"w64", "pcm_s16le", "w64"}, Container{"aiff", "pcm_s16be", "aiff"},
                    Container{"caf", "pcm_s16le", "caf"}, Container{"mkv", "pcm_s16le", "matroska"},
                    Container{"mka_flac", "flac", "matroska"}),
    [](const testing::TestParamInfo<Container>& info) { return info.param.name; });

class RawPcmAsked : public testing::TestWithParam<Container>
{
};

// -fs on a file of a known format: read as that format, not as full-scale noise.
TEST_P(RawPcmAsked, ForAKnownFormatIsIgnored)
{
    const Container& c = GetParam();
    ScratchFolder folder;
    const auto input = folder / ("in." + c.name);
    writeEncoded(input, containerTone(), c.encoder, c.muxer, c.options);
    const RunResult run = runBesweet(besweetArguments(
        input, folder / "o.wav", {"-ota(", "-fs", "48000", ")"}, folder / "o.log"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Decoded got = decodeFile(folder / "o.wav");
    EXPECT_NEAR(got.seconds(), 4.0, 0.1);
    EXPECT_NEAR(got.peak, 0.5, 0.05);
    EXPECT_NE(readBytes(folder / "o.log").find("raw PCM (-fs) ignored"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Besweet, RawPcmAsked,
                         testing::Values(Container{"mp3", "libmp3lame", "mp3"},
                                         Container{"rf64", "pcm_s16le", "wav", "rf64=always"},
                                         Container{"w64", "pcm_s16le", "w64"}),
                         [](const testing::TestParamInfo<Container>& info) {
                             return info.param.name;
                         });

// A TS recording with a run of zeros between its packets and more zeros after its end: the
// reader's "try again" is no error, and all the sound is there.
TEST(Besweet, ReadsATsRecordingWithRunsOfZeros)
{
    ScratchFolder folder;
    writeEncoded(folder / "clean.ts", containerTone(), "mp2", "mpegts");
    const std::string clean = readBytes(folder / "clean.ts");
    // Before a TS packet in the middle that starts a PES packet of the audio (PID 0x100).
    constexpr std::size_t tsPacket = 188;
    std::size_t middle = clean.size() / 2 / tsPacket * tsPacket;
    while (middle < clean.size() && ((clean[middle + 1] & 0x5f) != 0x41 || clean[middle + 2] != 0))
        middle += tsPacket;
    const std::string zeros(200000, '\0');
    writeBytes(folder / "in.ts", clean.substr(0, middle) + zeros + clean.substr(middle) + zeros);
    const RunResult run = runBesweet(besweetArguments(folder / "in.ts", folder / "o.wav", {}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Decoded got = decodeFile(folder / "o.wav");
    EXPECT_NEAR(got.seconds(), 4.0, 0.1);
    EXPECT_NEAR(got.peak, 0.5, 0.05);
}

// Two MP3 files, each with its tags and information frame, joined with cat: one recording.
TEST(Besweet, ReadsMp3FilesJoinedWithCat)
{
    ScratchFolder folder;
    Tone first = containerTone();
    first.seconds = 5.0;
    Tone second = containerTone();
    second.seconds = 3.0;
    second.amplitudes = {0.25, 0.5};
    writeEncoded(folder / "first.mp3", first, "libmp3lame", "mp3");
    writeEncoded(folder / "second.mp3", second, "libmp3lame", "mp3");
    writeBytes(folder / "joined.mp3",
               readBytes(folder / "first.mp3") + readBytes(folder / "second.mp3"));
    const RunResult run = runBesweet(besweetArguments(folder / "joined.mp3", folder / "o.wav", {}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Decoded got = decodeFile(folder / "o.wav");
    EXPECT_NEAR(got.seconds(), 8.0, 0.1);
}

// A header in 32 bits, data of more than 4 GiB behind it: read to the end of the file, which
// here is sparse, silent but for a tone in its last second (in memory where there is a file
// system there, which reads a hole fastest). Where the wrapped size ends, four samples of -1 look
// like a chunk that reaches beyond the end, as real audio may.
TEST(Besweet, ReadsAWavOver4GiBToItsEnd)
{
    const ScratchFolder folder(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "");
    Tone tone;
    tone.rate = 8000;
    tone.channels = 8;
    tone.seconds = 1.0;
    const std::string last = wavBytes(tone);
    const std::string header = last.substr(0, 44);
    const std::string lastSecond = last.substr(44);
    constexpr std::uint64_t blockAlign = 8 * 2;
    constexpr std::uint32_t wrapped = 32000;
    const std::uint64_t frames = ((std::uint64_t{1} << 32) + wrapped) / blockAlign;
    const std::uint64_t dataBytes = frames * blockAlign;
    const auto path = folder / "big.wav";
    {
        std::string sizes = header;
        for (const auto& [at, value] : {std::pair{4, dataBytes + 36}, std::pair{40, dataBytes}})
            for (int i = 0; i < 4; ++i)
                sizes[static_cast<std::size_t>(at + i)] = static_cast<char>(value >> (8 * i));
        const std::string minusOnes(8, '\xff');
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        const auto end = static_cast<off_t>(44 + dataBytes);
        ASSERT_EQ(::pwrite(fd, sizes.data(), sizes.size(), 0), 44);
        ASSERT_EQ(::pwrite(fd, minusOnes.data(), minusOnes.size(), 44 + wrapped), 8);
        ASSERT_EQ(::pwrite(fd, lastSecond.data(), lastSecond.size(),
                           end - static_cast<off_t>(lastSecond.size())),
                  static_cast<ssize_t>(lastSecond.size()));
        ::close(fd);
    }

    Options options;
    options.input = path.string();
    Input input = openInput(options);
    RunLog log;
    ASSERT_TRUE(log.open((folder / "o.log").string()));
    logInput(input, log);
    Progress progress(Text{"reading", "reading"});
    double lastPeak = 0.0;
    const auto lastStart = static_cast<std::int64_t>(frames) - 8000;
    std::int64_t samples = 0;
    decodeAll(input, progress, [&](const AVFrame& frame) {
        if (samples + frame.nb_samples > lastStart) {
            const auto* interleaved = reinterpret_cast<const std::int16_t*>(frame.extended_data[0]);
            for (int i = 0; i < frame.nb_samples * 8; ++i)
                lastPeak = std::max(lastPeak, std::abs(interleaved[i]) / 32768.0);
        }
        samples += frame.nb_samples;
    });
    ASSERT_FALSE(log.close());
    EXPECT_EQ(samples, static_cast<std::int64_t>(frames));
    EXPECT_NEAR(lastPeak, 0.5, 0.01);
    EXPECT_NE(readBytes(folder / "o.log").find("the header's size of 32000 bytes"),
              std::string::npos)
        << readBytes(folder / "o.log");
}

} // namespace
} // namespace besweet::test
