// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs as real recordings come: joined from parts of other layouts, rates and bitrates, with a
// stray byte at the end, through a pipe, or not quite fit for a DVD. Each makes a correct track,
// checked by decoding it.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"
#include "support/Encoded.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace besweet::test
{
namespace
{

double peakBetween(const Decoded& track, double from, double to)
{
    const auto channels = static_cast<std::size_t>(track.channels);
    const auto first = static_cast<std::size_t>(from * track.rate) * channels;
    const auto last =
        std::min(static_cast<std::size_t>(to * track.rate) * channels, track.interleaved.size());
    double peak = 0.0;
    for (std::size_t i = first; i < last; ++i)
        peak = std::max(peak, static_cast<double>(std::fabs(track.interleaved[i])));
    return peak;
}

struct Part {
    int channels;
    std::vector<double> amplitudes;
    std::string encoder;
    int kbps;
    int rate = 48000;
};

struct Joined {
    std::string name;
    Part first;
    Part second;
    std::string output;
    std::vector<std::string> sections;
    std::string logSays; // the change, as the log gives it
};

void PrintTo(const Joined& c, std::ostream* os)
{
    *os << c.name;
}

std::string partBytes(const Part& part)
{
    Tone tone;
    tone.rate = part.rate;
    tone.channels = part.channels;
    tone.amplitudes = part.amplitudes;
    tone.seconds = 3.0;
    tone.frequency = 500.0;
    return encodedBytes(tone, part.encoder, part.kbps);
}

class JoinedParts : public testing::TestWithParam<Joined>
{
};

// Each part comes out as it would on its own: the same channels, at the same level, with no
// peak at the join; the whole is as long as both; the log says where the input changed.
TEST_P(JoinedParts, ComeOutAsEachWouldAlone)
{
    const Joined& c = GetParam();
    ScratchFolder folder;
    const std::string first = partBytes(c.first);
    const std::string second = partBytes(c.second);
    writeBytes(folder / "first.in", first);
    writeBytes(folder / "second.in", second);
    writeBytes(folder / "joined.in", first + second);
    // Normalised, the whole has one gain: the parts alone are made without it, and the second
    // part is compared once the first part's difference is taken out.
    const bool normalised = c.sections.size() > 1 && c.sections[1] == "-norm";
    const std::vector<std::string> partSections(c.sections.begin() + (normalised ? 4 : 0),
                                                c.sections.end());
    for (const std::string name : {"first", "second", "joined"}) {
        const RunResult run = runBesweet(besweetArguments(
            folder / (name + ".in"), folder / (name + c.output),
            name == "joined" ? c.sections : partSections, folder / (name + ".log")));
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
    }
    const Decoded parts[] = {decodeFile(folder / ("first" + c.output)),
                             decodeFile(folder / ("second" + c.output))};
    const Decoded joined = decodeFile(folder / ("joined" + c.output));
    // A file is looked through first: the output holds the most channels of any part.
    ASSERT_EQ(joined.channels, std::max(parts[0].channels, parts[1].channels));
    EXPECT_NEAR(joined.seconds(), parts[0].seconds() + parts[1].seconds(), 0.1);
    EXPECT_LE(joined.peak, 1.0);

    const double join = parts[0].seconds();
    for (int channel = 0; channel < joined.channels; ++channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        // A mono part fills both sides.
        const int first = std::min(channel, parts[0].channels - 1);
        const int second = std::min(channel, parts[1].channels - 1);
        const double gain = toDecibels(rmsOf(joined, channel, 0.5, 2.5)) -
                            toDecibels(rmsOf(parts[0], first, 0.5, 2.5));
        if (!normalised) {
            EXPECT_NEAR(gain, 0.0, 0.5) << "first part";
        }
        const double expected = rmsOf(parts[1], second, 0.5, 2.5);
        ASSERT_GT(expected, 0.01);
        EXPECT_NEAR(toDecibels(rmsOf(joined, channel, join + 0.5, join + 2.5)),
                    toDecibels(expected) + gain, 0.5)
            << "second part";
    }
    if (normalised) {
        EXPECT_NEAR(toDecibels(joined.peak), toDecibels(std::stod(c.sections[2])), 0.5);
    }
    // The decoders' own transient where two streams meet aside, nothing may jump out there.
    if (!normalised) {
        const double inputAtJoin = peakBetween(decodeFile(folder / "joined.in"), 2.8, 3.2);
        EXPECT_LE(peakBetween(joined, join - 0.2, join + 0.2),
                  1.05 * std::max({parts[0].peak, parts[1].peak, inputAtJoin}))
            << "a click at the join";
    }

    const std::string log = readBytes(folder / "joined.log");
    if (c.logSays.empty()) {
        EXPECT_EQ(log.find("input: from"), std::string::npos) << log;
    } else {
        EXPECT_NE(log.find("input: from 3.0"), std::string::npos) << log;
        EXPECT_NE(log.find(c.logSays), std::string::npos) << log;
    }
    EXPECT_EQ(log.find("a later part holds") != std::string::npos,
              c.second.channels > c.first.channels)
        << log;
}

const std::vector<double> surround{0.1, 0.1, 0.4, 0.05, 0.3, 0.3}; // the centre and sides loud

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, JoinedParts, testing::Values(
    Joined{"ac3_51_then_20_to_layer2", {6, surround, "ac3", 448}, {2, {0.3, 0.2}, "ac3", 192},
           ".mpa", {}, "2 channels (stereo), 48000 Hz"},
    Joined{"ac3_20_then_51_to_layer2", {2, {0.3, 0.2}, "ac3", 192}, {6, surround, "ac3", 448},
           ".mpa", {}, "6 channels (5.1(side)), 48000 Hz"},
    // The 5.1 part's mix is the loudest: measured on its front channels only, the gain is off.
    Joined{"ac3_20_then_51_normalised", {2, {0.3, 0.2}, "ac3", 192},
           {6, {0.1, 0.1, 0.9, 0.05, 0.9, 0.9}, "ac3", 448},
           ".ac3", {"-ota(", "-norm", "0.50", ")"}, "6 channels"},
    Joined{"mp2_mono_then_stereo", {1, {0.4}, "mp2", 96}, {2, {0.1, 0.4}, "mp2", 256},
           ".mpa", {}, "2 channels (stereo)"},
    Joined{"ac3_mono_then_stereo", {1, {0.4}, "ac3", 96}, {2, {0.1, 0.4}, "ac3", 192},
           ".ac3", {}, "2 channels (stereo)"},
    Joined{"mp2_mono_then_stereo_to_ac3", {1, {0.4}, "mp2", 96}, {2, {0.1, 0.4}, "mp2", 256},
           ".ac3", {}, "2 channels (stereo)"},
    Joined{"mp2_stereo_then_mono_to_ac3", {2, {0.1, 0.4}, "mp2", 256}, {1, {0.4}, "mp2", 96},
           ".ac3", {}, "1 channel (mono)"},
    Joined{"ac3_48k_then_44k", {2, {0.3, 0.2}, "ac3", 192}, {2, {0.2, 0.3}, "ac3", 192, 44100},
           ".ac3", {}, "2 channels (stereo), 44100 Hz"},
    Joined{"ac3_44k_then_48k_resampled", {2, {0.3, 0.2}, "ac3", 192, 44100},
           {2, {0.2, 0.3}, "ac3", 192}, ".mpa", {"-ssrc(", "--rate", "48000", ")"},
           "48000 Hz"},
    Joined{"mp2_bitrate_steps_down", {2, {0.3, 0.2}, "mp2", 384}, {2, {0.2, 0.3}, "mp2", 192},
           ".wav", {}, ""},
    Joined{"ac3_bitrate_steps_down", {2, {0.3, 0.2}, "ac3", 448}, {2, {0.2, 0.3}, "ac3", 192},
           ".wav", {}, ""}),
    [](const testing::TestParamInfo<Joined>& info) { return info.param.name; });
// clang-format on

// A data length that is not a whole number of sample frames: the stray bytes are dropped, and
// the log says so.
TEST(Besweet, DropsAPartialSampleFrameAtTheEnd)
{
    ScratchFolder folder;
    Tone tone;
    tone.seconds = 1.0;
    tone.amplitudes = {0.5, 0.25};
    std::string wav = wavBytes(tone) + "\x01\x02\x03";
    const auto dataBytes = static_cast<std::uint32_t>(wav.size() - 44);
    for (int i = 0; i < 4; ++i) {
        wav[static_cast<std::size_t>(40 + i)] = static_cast<char>(dataBytes >> (8 * i) & 0xff);
        wav[static_cast<std::size_t>(4 + i)] =
            static_cast<char>((dataBytes + 36) >> (8 * i) & 0xff);
    }
    writeBytes(folder / "in.wav", wav);
    writeBytes(folder / "in.raw", wav.substr(44));
    for (const auto& [input, sections] :
         {std::pair{"in.wav", std::vector<std::string>{}},
          std::pair{"in.raw", std::vector<std::string>{"-ota(", "-fs", "44100", ")"}}}) {
        SCOPED_TRACE(input);
        const RunResult run = runBesweet(
            besweetArguments(folder / input, folder / "o.wav", sections, folder / "o.log"));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Decoded got = decodeFile(folder / "o.wav");
        EXPECT_EQ(got.samples, 44100);
        EXPECT_NEAR(rmsOf(got, 0, 0.0, 1.0), 0.5 / std::sqrt(2.0), 0.01);
        EXPECT_NEAR(rmsOf(got, 1, 0.0, 1.0), 0.25 / std::sqrt(2.0), 0.01);
        EXPECT_NE(readBytes(folder / "o.log").find("the last 3 bytes are less than a whole sample"),
                  std::string::npos)
            << readBytes(folder / "o.log");
    }
}

// Feeds bytes into a named pipe from a thread of its own, once a reader has opened it; gives up
// when the writer goes before any reader came.
class PipeWriter
{
public:
    PipeWriter(std::filesystem::path pipe, std::string bytes)
        : thread_([this, pipe = std::move(pipe), bytes = std::move(bytes)] {
              int fd = -1;
              while (fd < 0 && !stop_) {
                  fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
                  if (fd < 0)
                      std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
              if (fd < 0)
                  return;
              ::fcntl(fd, F_SETFL, 0);
              std::size_t written = 0;
              while (written < bytes.size()) {
                  const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
                  if (n <= 0)
                      break;
                  written += static_cast<std::size_t>(n);
              }
              ::close(fd);
          })
    {
    }
    PipeWriter(const PipeWriter&) = delete;
    PipeWriter& operator=(const PipeWriter&) = delete;
    ~PipeWriter()
    {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

// Runs besweet, killing it when it is not done within 20 s (a pipe read twice waits for ever).
RunResult runWithWatchdog(const std::vector<std::string>& arguments)
{
    RunningBesweet child(arguments);
    std::atomic<bool> ended = false;
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!ended)
            child.signal(SIGKILL);
    });
    RunResult run = child.wait();
    ended = true;
    watchdog.join();
    return run;
}

// A pipe is read once, from start to end: short or long, the whole track comes out, and the log
// says that its length could not be checked.
TEST(Besweet, ReadsAWavFileFromAPipe)
{
    for (const double seconds : {1.0, 4.0}) {
        SCOPED_TRACE(seconds);
        ScratchFolder folder;
        ASSERT_EQ(::mkfifo((folder / "in.wav").c_str(), 0600), 0);
        Tone tone;
        tone.rate = 48000;
        tone.seconds = seconds;
        tone.amplitudes = {0.5, 0.25};
        RunResult run;
        {
            const PipeWriter writer(folder / "in.wav", wavBytes(tone));
            run = runWithWatchdog(
                besweetArguments(folder / "in.wav", folder / "o.wav", {}, folder / "o.log"));
        }
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Decoded got = decodeFile(folder / "o.wav");
        EXPECT_EQ(got.samples, static_cast<std::int64_t>(seconds * 48000));
        EXPECT_NEAR(rmsOf(got, 1, 0.0, seconds), 0.25 / std::sqrt(2.0), 0.01);
        EXPECT_NE(readBytes(folder / "o.log").find("once the pipe has ended"), std::string::npos);
    }
}

// A pipe cannot be looked through before it is read: the first part's channels hold, as the
// log says.
TEST(Besweet, KeepsTheFirstPartsChannelsFromAPipe)
{
    ScratchFolder folder;
    ASSERT_EQ(::mkfifo((folder / "in.ac3").c_str(), 0600), 0);
    const std::string mono = partBytes({1, {0.4}, "ac3", 96});
    const std::string stereo = partBytes({2, {0.1, 0.4}, "ac3", 192});
    RunResult run;
    {
        const PipeWriter writer(folder / "in.ac3", mono + stereo);
        run = runWithWatchdog(
            besweetArguments(folder / "in.ac3", folder / "o.ac3", {}, folder / "o.log"));
    }
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(decodeFile(folder / "o.ac3").channels, 1);
    EXPECT_NE(readBytes(folder / "o.log").find("a pipe, which cannot be looked through"),
              std::string::npos)
        << readBytes(folder / "o.log");
}

// -norm reads the input twice, which a pipe cannot give: refused before it is read.
TEST(Besweet, RefusesToNormaliseFromAPipe)
{
    ScratchFolder folder;
    ASSERT_EQ(::mkfifo((folder / "in.wav").c_str(), 0600), 0);
    Tone tone;
    tone.seconds = 1.0;
    const PipeWriter writer(folder / "in.wav", wavBytes(tone));
    const RunResult run = runWithWatchdog(
        besweetArguments(folder / "in.wav", folder / "o.ac3", {"-ota(", "-norm", "0.95", ")"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "besweet: " + (folder / "in.wav").string() +
                           ": is a pipe or device, which can be read only once, and -norm reads "
                           "the input twice: save it to a file first, or leave out -norm\n");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"in.wav"});
}

struct DvdCase {
    std::string name;
    int rate;
    std::vector<std::string> sections;
    std::string output;
    std::string warning; // empty: none
};

void PrintTo(const DvdCase& c, std::ostream* os)
{
    *os << c.name;
}

class WarnsWhenNotForDvd : public testing::TestWithParam<DvdCase>
{
};

// Tracks a DVD would not take are still made, with a warning on the console and in the log.
TEST_P(WarnsWhenNotForDvd, ButMakesTheTrack)
{
    const DvdCase& c = GetParam();
    ScratchFolder folder;
    Tone tone;
    tone.rate = c.rate;
    tone.seconds = 1.0;
    writeWav(folder / "in.wav", tone);
    const RunResult run = runBesweet(
        besweetArguments(folder / "in.wav", folder / c.output, c.sections, folder / "o.log"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string log = readBytes(folder / "o.log");
    if (c.warning.empty()) {
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.find("DVD"), std::string::npos) << run.out;
        EXPECT_EQ(log.find("DVD"), std::string::npos) << log;
    } else {
        EXPECT_TRUE(run.err.starts_with("besweet: warning: not DVD-compliant: " + c.warning))
            << run.err;
        EXPECT_NE(log.find("warning: not DVD-compliant: " + c.warning), std::string::npos) << log;
    }
    EXPECT_GT(decodeFile(folder / c.output).samples, 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, WarnsWhenNotForDvd, testing::Values(
    DvdCase{"ac3_at_640", 48000, {"-ac3enc(", "-b", "640", ")"}, "o.ac3", "AC3 at 640 kbps"},
    DvdCase{"ac3_at_448", 48000, {"-ac3enc(", "-b", "448", ")"}, "o.ac3", ""},
    DvdCase{"at_44100", 44100, {}, "o.ac3", "44100 Hz"},
    DvdCase{"layer2_at_32000", 32000, {}, "o.mpa", "32000 Hz"},
    DvdCase{"resampled_to_48000", 44100, {"-ssrc(", "--rate", "48000", ")"}, "o.mpa", ""}),
    [](const testing::TestParamInfo<DvdCase>& info) { return info.param.name; });
// clang-format on

// Raw PCM ticked for a WAV file: its header is not played as sound.
TEST(Besweet, ReadsAWavFileAsWavDespiteRawPcm)
{
    ScratchFolder folder;
    Tone tone;
    tone.rate = 48000;
    tone.seconds = 1.0;
    tone.amplitudes = {0.25};
    tone.phaseDegrees = 0.0; // starts at silence: a header read as sound would be a click
    writeWav(folder / "in.wav", tone);
    const RunResult run = runBesweet(besweetArguments(
        folder / "in.wav", folder / "o.wav", {"-ota(", "-fs", "48000", ")"}, folder / "o.log"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Decoded got = decodeFile(folder / "o.wav");
    EXPECT_EQ(got.samples, 48000);
    EXPECT_LE(got.peak, 0.2501);
    EXPECT_LT(std::fabs(got.interleaved[0]), 0.001);
    EXPECT_NE(readBytes(folder / "o.log").find("raw PCM (-fs) ignored"), std::string::npos);
}

} // namespace
} // namespace besweet::test
