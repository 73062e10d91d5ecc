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
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>
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

// The W64 file of the tone with no channels in its format chunk.
std::string w64WithoutChannels()
{
    constexpr std::size_t channels = 40 + 24 + 2; // the header, the chunk's GUID and size, a tag
    return patched(encoded("pcm_s16le", "w64"), channels, 0, 2, false);
}

struct Refused {
    std::string name;
    std::string file; // the input's name
    std::function<std::string()> bytes;
    bool throughAPipe;
    std::string says; // after "besweet: NAME: "
};

void PrintTo(const Refused& c, std::ostream* os)
{
    *os << c.name;
}

class NamesTheCause : public testing::TestWithParam<Refused>
{
};

// One line that starts with the input's name (its control characters written out) and says
// why, and the old target kept.
TEST_P(NamesTheCause, AndTheInputInOneLine)
{
    const Refused& c = GetParam();
    ScratchFolder folder;
    const fs::path input = folder / c.file;
    writeBytes(input, c.bytes());
    writeBytes(folder / "o.wav", "the old target");
    const RunResult run = c.throughAPipe
                              ? runBesweet(besweetArguments("/dev/stdin", folder / "o.wav", {}),
                                           [&] { feedStandardInput(input); })
                              : runBesweet(besweetArguments(input, folder / "o.wav", {}));
    EXPECT_EQ(run.exitCode, 1);
    std::string name = c.throughAPipe ? "/dev/stdin" : input.string();
    for (std::size_t at = 0; (at = name.find('\n', at)) != std::string::npos;)
        name.replace(at, 1, "\\n");
    EXPECT_EQ(run.err.rfind("besweet: " + name + ": " + c.says, 0), 0U) << run.err;
    EXPECT_EQ(std::ranges::count(run.err, '\n'), 1) << run.err;
    EXPECT_TRUE(readBytes(folder / "o.wav") == "the old target");
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, NamesTheCause,
    testing::Values(Refused{"caf_with_its_packet_table_after_the_audio_from_a_pipe", "in.caf",
                            [] { return encoded("alac", "caf"); }, true,
                            "is a CAF file whose packet table comes after its audio"},
                    Refused{"w64_without_channels", "in.w64", w64WithoutChannels, false,
                            "cannot open the decoder: damaged header"},
                    Refused{"name_with_a_line_break", "in\nbesweet: warning: more.wav",
                            [] {
                                const std::string wav = wavBytes(twoSeconds());
                                return wav.substr(0, wav.size() / 2);
                            },
                            false, "is cut short: its header promises 2.00 s, it holds 1.00 s"}),
    [](const testing::TestParamInfo<Refused>& info) { return info.param.name; });

struct Container {
    std::string name;
    std::string encoder;
    std::string muxer;
    std::string options = {};
};

Tone containerTone()
{
    Tone tone;
    tone.rate = 48000;
    tone.seconds = 4.0;
    tone.amplitudes = {0.5, 0.25};
    return tone;
}

// How the input reaches besweet: by its name, or through a pipe on its standard input.
enum class From { File, Pipe };

class DeclaredLength : public testing::TestWithParam<std::tuple<Container, From>>
{
};

// Whole, the file gives all its audio; cut to 45 %, it is refused with one line, not taken as a
// shorter track, and the old target stays: from a pipe as from the file.
TEST_P(DeclaredLength, IsHeldOrTheFileIsCutShort)
{
    const Container& c = std::get<0>(GetParam());
    const From from = std::get<1>(GetParam());
    ScratchFolder folder;
    const auto run = [&](const std::filesystem::path& input, const std::filesystem::path& output) {
        writeBytes(output, "the old target");
        if (from == From::File)
            return runBesweet(besweetArguments(input, output, {}));
        return runBesweet(besweetArguments("/dev/stdin", output, {}),
                          [&] { feedStandardInput(input); });
    };
    const auto whole = folder / ("whole." + c.name);
    writeEncoded(whole, containerTone(), c.encoder, c.muxer, c.options);
    const RunResult wholeRun = run(whole, folder / "o_whole.wav");
    ASSERT_EQ(wholeRun.exitCode, 0) << wholeRun.err;
    const Decoded got = decodeFile(folder / "o_whole.wav");
    EXPECT_EQ(got.samples, 4 * 48000);
    EXPECT_NEAR(got.peak, 0.5, 0.01);

    const std::string bytes = readBytes(whole);
    const auto cut = folder / ("cut." + c.name);
    writeBytes(cut, bytes.substr(0, bytes.size() * 45 / 100));
    const RunResult cutRun = run(cut, folder / "o_cut.wav");
    const std::string name = from == From::File ? cut.string() : "/dev/stdin";
    EXPECT_EQ(cutRun.exitCode, 1);
    EXPECT_EQ(cutRun.err.rfind("besweet: " + name + ": is cut short: its ", 0), 0U) << cutRun.err;
    EXPECT_EQ(std::count(cutRun.err.begin(), cutRun.err.end(), '\n'), 1) << cutRun.err;
    EXPECT_EQ(readBytes(folder / "o_cut.wav"), "the old target");
}

INSTANTIATE_TEST_SUITE_P(Besweet, DeclaredLength,
                         testing::Combine(testing::Values(Container{"wav", "pcm_s16le", "wav"},
                                                          Container{"rf64", "pcm_s16le", "wav",
                                                                    "rf64=always"},
                                                          Container{"w64", "pcm_s16le", "w64"},
                                                          Container{"aiff", "pcm_s16be", "aiff"},
                                                          Container{"caf", "pcm_s16le", "caf"},
                                                          Container{"mkv", "pcm_s16le", "matroska"},
                                                          Container{"mka_flac", "flac", "matroska"},
                                                          Container{"au", "pcm_s16be", "au"}),
                                          testing::Values(From::File, From::Pipe)),
                         [](const testing::TestParamInfo<std::tuple<Container, From>>& info) {
                             return std::get<0>(info.param).name +
                                    (std::get<1>(info.param) == From::File ? "_file" : "_pipe");
                         });

} // namespace
} // namespace besweet::test
