// SPDX-License-Identifier: GPL-3.0-or-later
// How an input ends and why it is refused: bytes after whole audio are skipped as a player skips
// them, 64-bit PCM is measured as any other, and each refusal names its cause and the input in
// one line, whatever the input's name holds.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"
#include "support/Encoded.h"

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace besweet::test
{
namespace
{

namespace fs = std::filesystem;

Tone twoSeconds()
{
    Tone tone;
    tone.rate = 48000;
    tone.seconds = 2.0;
    return tone;
}

// The tone encoded into a file of the muxer's format, as bytes.
std::string encoded(const std::string& encoder, const std::string& muxer)
{
    const ScratchFolder folder;
    writeEncoded(folder / "in", twoSeconds(), encoder, muxer);
    return readBytes(folder / "in");
}

// The bytes with value written at offset, big-endian or little-endian in count bytes.
std::string patched(std::string bytes, std::size_t offset, std::uint64_t value, int count,
                    bool bigEndian)
{
    for (int i = 0; i < count; ++i) {
        const int shift = 8 * (bigEndian ? count - 1 - i : i);
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> shift & 0xff);
    }
    return bytes;
}

// A WAV of 64-bit integer samples: the 16-bit tone widened (WAVE_FORMAT_PCM, 64 bits).
std::string wav64()
{
    const std::string wav16 = wavBytes(twoSeconds());
    std::string data;
    for (std::size_t at = 44; at + 1 < wav16.size(); at += 2)
        data += std::string(6, '\0') + wav16.substr(at, 2);
    std::string header = wav16.substr(0, 44);
    header = patched(header, 4, 36 + data.size(), 4, false);
    header = patched(header, 28, 48000 * 2 * 8, 4, false); // bytes per second
    header = patched(header, 32, 2 * 8, 2, false);         // block align
    header = patched(header, 34, 64, 2, false);            // bits
    header = patched(header, 40, data.size(), 4, false);
    return header + data;
}

struct Played {
    std::string name;
    std::function<std::string()> bytes;
    std::size_t trailing = 0;               // zero bytes after the audio
    std::vector<std::string> sections = {}; // after -core( ... )
};

void PrintTo(const Played& c, std::ostream* os)
{
    *os << c.name;
}

class TakesWhatAPlayerPlays : public testing::TestWithParam<Played>
{
};

// Converted whole, as long as a plain decode of the input or of its audio alone, and bytes after
// the audio said once.
TEST_P(TakesWhatAPlayerPlays, AsLongAsAPlainDecode)
{
    const Played& c = GetParam();
    ScratchFolder folder;
    const std::string audio = c.bytes();
    writeBytes(folder / "audio", audio);
    writeBytes(folder / "in", audio + std::string(c.trailing, '\0'));
    const RunResult run = runBesweet(besweetArguments(folder / "in", folder / "o.wav", c.sections));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // A plain decode loses an AC3 frame the zeros stick to, and takes an MP3's padding at the
    // end when the zeros hide where the file ends: nothing either plays is missing.
    EXPECT_EQ(decodeFile(folder / "o.wav").samples,
              std::max(decodeFile(folder / "audio").samples, decodeFile(folder / "in").samples));
    const auto warnings = std::ranges::count(run.err, '\n');
    if (c.trailing == 0) {
        EXPECT_EQ(warnings, 0) << run.err;
        return;
    }
    EXPECT_EQ(warnings, 1) << run.err;
    EXPECT_EQ(run.err.rfind("besweet: warning: " + std::to_string(c.trailing) +
                                " bytes after the end of the audio skipped",
                            0),
              0U)
        << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, TakesWhatAPlayerPlays,
    testing::Values(Played{"flac_then_zeros", [] { return encoded("flac", "flac"); }, 3000},
                    Played{"mp3_then_zeros", [] { return encoded("libmp3lame", "mp3"); }, 3000},
                    Played{"mp2_then_zeros", [] { return encoded("mp2", "mp2"); }, 3000},
                    Played{"ac3_then_zeros", [] { return encoded("ac3", "ac3"); }, 3000},
                    Played{"ac3_then_a_few_zeros", [] { return encoded("ac3", "ac3"); }, 5},
                    Played{"pcm_64_bit", wav64},
                    Played{"pcm_64_bit_normalised", wav64, 0, {"-ota(", "-norm", "0.9", ")"}}),
    [](const testing::TestParamInfo<Played>& info) { return info.param.name; });

} // namespace
} // namespace besweet::test
