// SPDX-License-Identifier: GPL-3.0-or-later
// Layer II and AC3 encoded in chunks side by side against one encoder for the whole stream:
// the same length, the same sound, and no click where two chunks meet. Short chunks make many
// joins in a short input.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace besweet::test
{
namespace
{

struct ChunkCase {
    std::string name;
    int rate;
    std::string sections; // split at blanks
    std::string output;
    int frameSize;
    bool sameBytes; // identical to one encoder's output, byte for byte
};

void PrintTo(const ChunkCase& c, std::ostream* os)
{
    *os << c.name;
}

constexpr int ChunkFrames = 8;

// Sets BESWEET_CHUNK_FRAMES for the runs started meanwhile.
class ChunkFramesSetting
{
public:
    explicit ChunkFramesSetting(int frames)
    {
        ::setenv("BESWEET_CHUNK_FRAMES", std::to_string(frames).c_str(), 1);
    }
    ChunkFramesSetting(const ChunkFramesSetting&) = delete;
    ChunkFramesSetting& operator=(const ChunkFramesSetting&) = delete;
    ~ChunkFramesSetting() { ::unsetenv("BESWEET_CHUNK_FRAMES"); }
};

RunResult encode(const ScratchFolder& folder, const ChunkCase& c, const std::string& output,
                 int chunkFrames)
{
    const ChunkFramesSetting setting(chunkFrames);
    std::vector<std::string> arguments{"-core(",
                                       "-input",
                                       (folder / "in.wav").string(),
                                       "-output",
                                       (folder / output).string(),
                                       "-logfile",
                                       (folder / (output + ".log")).string(),
                                       ")"};
    for (std::istringstream words(c.sections); words >> arguments.emplace_back();)
        ;
    arguments.pop_back();
    return runBesweet(arguments);
}

// The largest step from one sample to the next on the same channel.
double largestStep(const Decoded& track)
{
    double largest = 0.0;
    const auto channels = static_cast<std::size_t>(track.channels);
    for (std::size_t i = channels; i < track.interleaved.size(); ++i)
        largest = std::max(largest, static_cast<double>(std::fabs(
                                        track.interleaved[i] - track.interleaved[i - channels])));
    return largest;
}

double largestDifference(const Decoded& a, const Decoded& b)
{
    double largest = 0.0;
    const std::size_t common = std::min(a.interleaved.size(), b.interleaved.size());
    for (std::size_t i = 0; i < common; ++i)
        largest =
            std::max(largest, static_cast<double>(std::fabs(a.interleaved[i] - b.interleaved[i])));
    return largest;
}

class EncodesInChunks : public testing::TestWithParam<ChunkCase>
{
};

TEST_P(EncodesInChunks, AsOneEncoderWould)
{
    const ChunkCase& c = GetParam();
    ScratchFolder folder;
    Tone tone;
    tone.rate = c.rate;
    tone.seconds = 3.0;
    tone.amplitudes = {0.5, 0.3};
    // Not a whole number of cycles per frame (1000 Hz at 48 kHz would be): a frame lost or
    // doubled shifts all that follows.
    tone.frequency = 997.0;
    writeWav(folder / "in.wav", tone);

    const RunResult serialRun = encode(folder, c, "serial" + c.output, 0);
    ASSERT_EQ(serialRun.exitCode, 0) << serialRun.err;
    const RunResult chunkedRun = encode(folder, c, "chunked" + c.output, ChunkFrames);
    ASSERT_EQ(chunkedRun.exitCode, 0) << chunkedRun.err;
    EXPECT_NE(readBytes(folder / ("chunked" + c.output + ".log"))
                  .find("chunks of " + std::to_string(ChunkFrames) + " frames"),
              std::string::npos);

    const Decoded serial = decodeFile(folder / ("serial" + c.output));
    const Decoded chunked = decodeFile(folder / ("chunked" + c.output));
    ASSERT_GT(serial.samples, 4 * ChunkFrames * c.frameSize) << "too short for several joins";
    EXPECT_EQ(chunked.samples, serial.samples);
    if (c.sameBytes) {
        EXPECT_TRUE(readBytes(folder / ("serial" + c.output)) ==
                    readBytes(folder / ("chunked" + c.output)));
    }
    // A join out of step or an encoder not settled would stand out well above -40 dBFS.
    EXPECT_LT(toDecibels(largestDifference(serial, chunked)), -40.0);
    EXPECT_LT(largestStep(chunked), largestStep(serial) * 1.05 + 1e-3) << "a click";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, EncodesInChunks, testing::Values(
    ChunkCase{"ac3_48000", 48000, "-ac3enc( -b 192 )", ".ac3", 1536, true},
    // Each packet is decoded again as it is written: the other encoder goes on meanwhile, and
    // the chunks it hands in must still be written, in their turn.
    ChunkCase{"ac3_48000_normalised", 48000, "-ota( -norm 0.90 ) -ac3enc( -b 192 )", ".ac3", 1536, true},
    // At 44.1 kHz the frames' padding words follow each encoder's own count.
    ChunkCase{"ac3_44100", 44100, "-ac3enc( -b 192 )", ".ac3", 1536, false},
    ChunkCase{"layer2_joint_resampled", 44100, "-ssrc( --rate 48000 ) -toolame( -m j -b 224 )", ".mpa", 1152, false},
    ChunkCase{"layer2_stereo_44100", 44100, "-toolame( -m s -b 192 )", ".mpa", 1152, false}),
    [](const testing::TestParamInfo<ChunkCase>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet::test
