// SPDX-License-Identifier: GPL-3.0-or-later
// How an input ends and why it is refused: every header that declares a length holds an input
// cut short to it, from a pipe as from a file; bytes after whole audio are skipped as a player
// skips them; 64-bit PCM is measured as any other; and each refusal names its cause and the
// input in one line, whatever the input's name holds.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"
#include "support/Encoded.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

namespace besweet::test
{
namespace
{

namespace fs = std::filesystem;

// Two seconds of tone at 48 kHz, half of full scale, encoded into a file of the muxer's format.
std::string encoded(const std::string& encoder, const std::string& muxer,
                    const std::string& options = "")
{
    const ScratchFolder folder;
    writeEncoded(folder / "in", Tone{.rate = 48000, .seconds = 2.0}, encoder, muxer, options);
    return readBytes(folder / "in");
}

// besweet on the input given by name, or through a pipe on its standard input ("/dev/stdin").
RunResult run(const fs::path& input, bool throughAPipe, const fs::path& output,
              const std::vector<std::string>& sections = {})
{
    writeBytes(output, "the old target");
    if (!throughAPipe)
        return runBesweet(besweetArguments(input, output, sections));
    return runBesweet(besweetArguments("/dev/stdin", output, sections),
                      [&] { feedStandardInput(input); });
}

// The bytes with a little-endian value of count bytes at offset.
std::string patched(std::string bytes, std::size_t offset, std::uint64_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    return bytes;
}

struct Played {
    std::string name;
    std::function<std::string()> bytes;
    std::size_t trailing = 0;               // zero bytes after the audio
    std::vector<std::string> sections = {}; // after -core( ... )
};

using TakesWhatAPlayerPlays = testing::TestWithParam<Played>;

// Converted whole, as long as a plain decode of the input or of its audio alone, and bytes after
// the audio said once.
TEST_P(TakesWhatAPlayerPlays, AsLongAsAPlainDecode)
{
    const Played& c = GetParam();
    ScratchFolder folder;
    writeBytes(folder / "audio", c.bytes());
    writeBytes(folder / "in", readBytes(folder / "audio") + std::string(c.trailing, '\0'));
    const RunResult done = run(folder / "in", false, folder / "o.wav", c.sections);
    ASSERT_EQ(done.exitCode, 0) << done.err;
    // A plain decode loses an AC3 frame the zeros stick to, and takes an MP3's padding at the
    // end when the zeros hide where the file ends: nothing either plays is missing.
    EXPECT_EQ(decodeFile(folder / "o.wav").samples,
              std::max(decodeFile(folder / "audio").samples, decodeFile(folder / "in").samples));
    const std::string said = c.trailing == 0 ? ""
                                             : "besweet: warning: " + std::to_string(c.trailing) +
                                                   " bytes after the end of the audio skipped";
    EXPECT_EQ(done.err.substr(0, said.size()), said);
    EXPECT_EQ(std::ranges::count(done.err, '\n'), said.empty() ? 0 : 1) << done.err;
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, TakesWhatAPlayerPlays,
    testing::Values(Played{"flac_then_zeros", [] { return encoded("flac", "flac"); }, 3000},
                    Played{"mp3_then_zeros", [] { return encoded("libmp3lame", "mp3"); }, 3000},
                    Played{"mp2_then_zeros", [] { return encoded("mp2", "mp2"); }, 3000},
                    Played{"ac3_then_zeros", [] { return encoded("ac3", "ac3"); }, 3000},
                    Played{"ac3_then_a_few_zeros", [] { return encoded("ac3", "ac3"); }, 5},
                    Played{"pcm_64_bit", [] { return encoded("pcm_s64le", "wav"); }},
                    Played{"pcm_64_bit_normalised",
                           [] { return encoded("pcm_s64le", "wav"); },
                           0,
                           {"-ota(", "-norm", "0.9", ")"}}),
    [](const testing::TestParamInfo<Played>& info) { return info.param.name; });

struct Refused {
    std::string name;
    std::string file; // the input's name
    std::function<std::string()> bytes;
    bool throughAPipe;
    std::string says; // after "besweet: NAME: "
};

using NamesTheCause = testing::TestWithParam<Refused>;

// One line that starts with the input's name (its control characters written out) and says
// why, and the old target kept.
TEST_P(NamesTheCause, AndTheInputInOneLine)
{
    const Refused& c = GetParam();
    ScratchFolder folder;
    writeBytes(folder / c.file, c.bytes());
    const RunResult done = run(folder / c.file, c.throughAPipe, folder / "o.wav");
    EXPECT_EQ(done.exitCode, 1);
    std::string name = c.throughAPipe ? "/dev/stdin" : (folder / c.file).string();
    for (std::size_t at = 0; (at = name.find('\n', at)) != std::string::npos;)
        name.replace(at, 1, "\\n");
    EXPECT_EQ(done.err.rfind("besweet: " + name + ": " + c.says, 0), 0U) << done.err;
    EXPECT_EQ(std::ranges::count(done.err, '\n'), 1) << done.err;
    EXPECT_TRUE(readBytes(folder / "o.wav") == "the old target");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, NamesTheCause, testing::Values(
    Refused{"caf_with_its_packet_table_after_the_audio_from_a_pipe", "in.caf",
            [] { return encoded("alac", "caf"); }, true,
            "is a CAF file whose packet table comes after its audio"},
    // The channel count: after the header, the format chunk's GUID and size, and its tag.
    Refused{"w64_without_channels", "in.w64",
            [] { return patched(encoded("pcm_s16le", "w64"), 40 + 24 + 2, 0, 2); }, false,
            "cannot open the decoder: damaged header"},
    Refused{"name_with_a_line_break", "in\nbesweet: warning: more.wav",
            [] { const std::string wav = encoded("pcm_s16le", "wav");
                 return wav.substr(0, wav.size() / 2); },
            false, "is cut short: its header promises 2.00 s, it holds 1.00 s"}),
    [](const testing::TestParamInfo<Refused>& info) { return info.param.name; });
// clang-format on

struct Container {
    std::string name;
    std::string encoder;
    std::string muxer;
    std::string options = {};
};

using DeclaredLength = testing::TestWithParam<std::tuple<Container, bool>>;

// Whole, the file gives all its audio; cut to 45 %, it is refused with one line, not taken as a
// shorter track, and the old target stays: from a pipe as from the file.
TEST_P(DeclaredLength, IsHeldOrTheFileIsCutShort)
{
    const Container& c = std::get<0>(GetParam());
    const bool throughAPipe = std::get<1>(GetParam());
    ScratchFolder folder;
    const std::string bytes = encoded(c.encoder, c.muxer, c.options);
    writeBytes(folder / "whole", bytes);
    const RunResult whole = run(folder / "whole", throughAPipe, folder / "o_whole.wav");
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    const Decoded got = decodeFile(folder / "o_whole.wav");
    EXPECT_EQ(got.samples, 2 * 48000);
    EXPECT_NEAR(got.peak, 0.5, 0.01);

    writeBytes(folder / "cut", bytes.substr(0, bytes.size() * 45 / 100));
    const RunResult cut = run(folder / "cut", throughAPipe, folder / "o_cut.wav");
    const std::string name = throughAPipe ? "/dev/stdin" : (folder / "cut").string();
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_EQ(cut.err.rfind("besweet: " + name + ": is cut short: its ", 0), 0U) << cut.err;
    EXPECT_EQ(std::ranges::count(cut.err, '\n'), 1) << cut.err;
    EXPECT_EQ(readBytes(folder / "o_cut.wav"), "the old target");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, DeclaredLength, testing::Combine(
    testing::Values(Container{"wav", "pcm_s16le", "wav"},
                    Container{"rf64", "pcm_s16le", "wav", "rf64=always"},
                    Container{"w64", "pcm_s16le", "w64"}, Container{"aiff", "pcm_s16be", "aiff"},
                    Container{"caf", "pcm_s16le", "caf"}, Container{"mkv", "pcm_s16le", "matroska"},
                    Container{"mka_flac", "flac", "matroska"}, Container{"au", "pcm_s16be", "au"}),
    testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<Container, bool>>& info) {
        return std::get<0>(info.param).name + (std::get<1>(info.param) ? "_pipe" : "_file");
    });
// clang-format on

} // namespace
} // namespace besweet::test
