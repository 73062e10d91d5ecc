// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings in containers with several streams and time stamps (TS, PS, Matroska, MP4): the
// main audio stream is the one taken, and a hole in its time line stays a hole of the same
// length, so the sound after it keeps in step with the picture.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"
#include "support/Encoded.h"
#include "support/Muxed.h"

#include <cmath>
#include <gtest/gtest.h>

namespace besweet::test
{
namespace
{

std::string toneBytes(int channels, std::vector<double> amplitudes, double seconds,
                      const std::string& encoder)
{
    Tone tone{.rate = 48000, .channels = channels, .seconds = seconds};
    tone.amplitudes = std::move(amplitudes);
    return encodedBytes(tone, encoder, 192);
}

struct Recording {
    std::string name;
    std::string muxer;
    std::string extension;
    std::string output; // the track's name
    double jumpBy;      // the stamps after 3 s of audio move by this
    double seconds;     // what the track holds
    double silentFrom;  // a stretch that must be silent (none when equal)
    double silentTo;
    std::string logSays;
};

void PrintTo(const Recording& c, std::ostream* os)
{
    *os << c.name;
}

class StampedRecordings : public testing::TestWithParam<Recording>
{
};

// Two audio streams: a mono commentary from the start and the stereo main track, which starts
// half a second later and holds 6 s of tone with its stamps moved after 3 s.
TEST_P(StampedRecordings, KeepTheirTimeLine)
{
    const Recording& c = GetParam();
    ScratchFolder folder;
    const std::string input = "in." + c.extension;
    if (c.jumpBy >= 0.0) {
        writeMuxed(folder / input, c.muxer,
                   {MuxedStream{toneBytes(1, {0.4}, 9.0, "mp2")},
                    MuxedStream{toneBytes(2, {0.1, 0.4}, 6.0, "ac3"), 0.5, 3.0, c.jumpBy}});
    } else {
        // A muxer takes no step back in time: two recordings joined, as a splice makes them.
        const double back = 3.0 + c.jumpBy;
        writeMuxed(folder / "first", c.muxer,
                   {MuxedStream{toneBytes(1, {0.4}, 3.0, "mp2")},
                    MuxedStream{toneBytes(2, {0.1, 0.4}, 3.0, "ac3"), 0.5}});
        writeMuxed(folder / "second", c.muxer,
                   {MuxedStream{toneBytes(1, {0.4}, 3.0, "mp2"), back},
                    MuxedStream{toneBytes(2, {0.1, 0.4}, 3.0, "ac3"), 0.5 + back}});
        writeBytes(folder / input, readBytes(folder / "first") + readBytes(folder / "second"));
    }
    const RunResult run =
        runBesweet(besweetArguments(folder / input, folder / c.output, {}, folder / "run.log"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string log = readBytes(folder / "run.log");
    const Decoded out = decodeFile(folder / c.output);
    ASSERT_EQ(out.channels, 2);
    EXPECT_NEAR(out.seconds(), c.seconds, 0.1) << log;
    // The stereo stream's left is quieter than its right: the mono stream would be even.
    EXPECT_NEAR(toDecibels(rmsOf(out, 1, 0.5, 2.5)) - toDecibels(rmsOf(out, 0, 0.5, 2.5)),
                toDecibels(4.0), 1.0);
    EXPECT_GT(rmsOf(out, 1, c.seconds - 1.5, c.seconds - 0.5), 0.2);
    if (c.silentTo > c.silentFrom) {
        EXPECT_LT(rmsOf(out, 1, c.silentFrom + 0.1, c.silentTo - 0.1), 1e-3) << log;
    }
    for (const std::string& says : {std::string("audio stream 2 chosen"),
                                    std::string("audio starts 500 ms after"), c.logSays})
        EXPECT_NE(log.find(says), std::string::npos) << says << "\n" << log;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, StampedRecordings, testing::Values(
    Recording{"ts_with_a_gap", "mpegts", "ts", "out.mpa", 3.0, 9.0, 3.0, 6.0,
              "3.00 s of silence inserted at 00:00:03.0: the recording has a gap"},
    Recording{"ps_with_a_gap", "vob", "vob", "out.wav", 2.0, 8.0, 3.0, 5.0,
              "2.00 s of silence inserted at 00:00:03.0"},
    Recording{"matroska_with_a_gap", "matroska", "mkv", "out.ac3", 1.5, 7.5, 3.0, 4.5,
              "1.50 s of silence inserted at 00:00:03.0"},
    Recording{"mp4_with_a_gap", "mp4", "mp4", "out.wav", 3.0, 9.0, 3.0, 6.0,
              "3.00 s of silence inserted at 00:00:03.0"},
    Recording{"ts_joined_going_back", "mpegts", "ts", "out.wav", -1.0, 6.0, 0.0, 0.0,
              "the time stamps jump by -1.0"}),
    [](const testing::TestParamInfo<Recording>& info) { return info.param.name; });
// clang-format on

// A broadcast recording as a user brings it: two parts joined with cat, a PES whose stamp was
// damaged in reception, a run of zeros where the signal was lost. The track holds what a plain
// decode of the input holds, sounding throughout, in the most channels of any part (looked for
// through the zeros), and a warning says what was found where.
struct Damage {
    std::string name;
    int firstChannels; // the first part's; the second is stereo
    double zerosAt;    // where in the first part 200,000 zero bytes are (none below 0)
    double movedAt;    // the PES moved, as a fraction of them all
    double movedBy;    // seconds
    std::string says;
};

void PrintTo(const Damage& c, std::ostream* os)
{
    *os << c.name;
}

class DamagedRecordings : public testing::TestWithParam<Damage>
{
};

TEST_P(DamagedRecordings, PlayAsAPlainDecodeDoes)
{
    const Damage& c = GetParam();
    ScratchFolder folder;
    const std::filesystem::path input = folder / "in.ts";
    std::string parts;
    for (const int channels : {c.firstChannels, 2}) {
        writeMuxed(input, "mpegts",
                   {MuxedStream{toneBytes(channels, {0.3, 0.3}, 5.0, "mp2"), 1.4}});
        std::string part = readBytes(input);
        if (parts.empty() && c.zerosAt >= 0.0)
            part.insert(static_cast<std::size_t>(c.zerosAt * static_cast<double>(part.size())) /
                            188 * 188,
                        200000, '\0');
        parts += part;
    }
    writeBytes(input, parts);
    if (c.movedBy != 0.0)
        movePesStamp(input, c.movedAt, c.movedBy);
    const RunResult run = runBesweet(besweetArguments(input, folder / "out.wav", {}, {}));
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const Decoded out = decodeFile(folder / "out.wav");
    EXPECT_EQ(out.channels, 2);
    EXPECT_NEAR(out.seconds(), decodeFile(input).seconds(), 0.15) << run.out;
    for (double from = 0.0; from + 0.5 <= out.seconds(); from += 0.5)
        EXPECT_GT(rmsOf(out, 0, from, from + 0.5), 0.1) << from << " s\n" << run.out;
    EXPECT_NE(run.err.find("besweet: warning: " + c.says), std::string::npos) << run.err;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, DamagedRecordings, testing::Values(
    Damage{"joined_with_cat", 2, -1, 0, 0, "the time stamps jump by -5.0"},
    Damage{"one_pes_5_s_late", 2, -1, 0.25, 5.0, "damaged time stamps at 00:00:02."},
    Damage{"one_pes_40_s_early", 2, -1, 0.75, -40.0, "damaged time stamps at 00:00:07."},
    Damage{"first_pes_30_s_late", 2, -1, 0, 30.0, "damaged time stamps at 00:00:00.0"},
    Damage{"zeros_where_the_signal_was_lost", 2, 0.5, 0, 0, "damaged audio data at 00:00:02."},
    Damage{"mono_zeros_then_stereo", 1, 0.5, 0, 0, "damaged audio data at 00:00:02."}),
    [](const testing::TestParamInfo<Damage>& info) { return info.param.name; });
// clang-format on

// Two TS recordings joined, the second stamped two frames before the first one's end: where its
// first two frames are the first one's last two, they repeat them and are dropped; where it holds
// other audio, nothing repeats, and all of it is kept.
struct Overlap {
    std::string name;
    bool repeats;
    std::string says;
};

using OverlappingRecordings = testing::TestWithParam<Overlap>;

TEST_P(OverlappingRecordings, DropOnlyWhatRepeats)
{
    const Overlap& c = GetParam();
    constexpr std::size_t frameBytes = 576; // Layer II, 192 kbps at 48 kHz
    constexpr int frameSamples = 1152;
    constexpr std::size_t firstFrames = 100;
    ScratchFolder folder;
    const std::string first = toneBytes(2, {0.3}, 5.0, "mp2");
    const std::string other = toneBytes(2, {0.2}, 5.0, "mp2");
    const std::string second = c.repeats ? first.substr((firstFrames - 2) * frameBytes)
                                         : other.substr((firstFrames - 2) * frameBytes);
    const double overlapAt = (firstFrames - 2) * frameSamples / 48000.0;
    writeMuxed(folder / "first.ts", "mpegts",
               {MuxedStream{first.substr(0, firstFrames * frameBytes), 1.0}});
    writeMuxed(folder / "second.ts", "mpegts", {MuxedStream{second, 1.0 + overlapAt}});
    writeBytes(folder / "in.ts", readBytes(folder / "first.ts") + readBytes(folder / "second.ts"));
    const RunResult run = runBesweet(besweetArguments(folder / "in.ts", folder / "out.wav", {}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::int64_t frames =
        static_cast<std::int64_t>(firstFrames + second.size() / frameBytes - (c.repeats ? 2 : 0));
    EXPECT_EQ(decodeFile(folder / "out.wav").samples, frames * frameSamples) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("besweet: warning: " + c.says, 0), 0U) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, OverlappingRecordings,
    testing::Values(Overlap{"repeating_two_frames", true, "0.05 s of audio dropped at 00:00:02.4"},
                    Overlap{"other_audio_two_frames_back", false,
                            "the time stamps run slow against the audio from 00:00:02.4 on"}),
    [](const testing::TestParamInfo<Overlap>& info) { return info.param.name; });

} // namespace
} // namespace besweet::test
