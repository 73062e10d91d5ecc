// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs by their container: a header whose values no file can have is refused with one line
// (how a declared length is held: InputEndTest.cpp), raw PCM (-fs) never reads a
// known format as samples, a TS recording with runs of zeros and MP3 files joined with cat are
// read whole, a WAV over 4 GiB is read to its end, and of several audio streams the main one is
// taken, as a warning says.
#include "input/Input.h"
#include "output/LogFile.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"
#include "support/Encoded.h"
#include "support/Muxed.h"

#include <cmath>
#include <fcntl.h>
#include <functional>
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
    // The second file's tags are no audio: nothing of them reaches the decoder as damage.
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
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
    LogFile log;
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

// The bytes of a size field written over at the given place, most significant first or last.
void writeSize(std::string& bytes, std::size_t at, std::uint64_t size, int count, bool bigEndian)
{
    for (int i = 0; i < count; ++i) {
        const int shift = 8 * (bigEndian ? count - 1 - i : i);
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(size >> shift);
    }
}

std::string encodedFile(const std::filesystem::path& folder, const std::string& encoder,
                        const std::string& muxer, const std::string& options = "")
{
    Tone tone = containerTone();
    tone.seconds = 0.5;
    writeEncoded(folder / "made", tone, encoder, muxer, options);
    return readBytes(folder / "made");
}

// 8 bytes of file header, a description of mu-law samples of 2 bytes a packet, then a data
// chunk that declares 0 bytes and ends before its edit count: 64 bytes.
std::string cafDeclaringNoData()
{
    std::string caf("caff\0\1\0\0desc", 12);
    caf += std::string(7, '\0') + '\x20';
    caf += std::string("\x40\xe7\x70\0\0\0\0\0ulaw", 12); // 48000.0
    for (const std::uint32_t field : {0U, 2U, 1U, 1U, 8U}) {
        std::string word(4, '\0');
        writeSize(word, 0, field, 4, true);
        caf += word;
    }
    caf += std::string("data", 4) + std::string(7, '\0') + '\x04';
    return caf;
}

struct Refused {
    std::string name;
    std::string extension;
    // Writes the input, in the scratch folder given, to the path given.
    std::function<void(const std::filesystem::path&, const std::filesystem::path&)> write;
    std::string says; // after "besweet: <input>: "
};

void PrintTo(const Refused& c, std::ostream* os)
{
    *os << c.name;
}

class ImpossibleHeader : public testing::TestWithParam<Refused>
{
};

// A header whose values no sound file can have: one line that names the file and says why, exit
// 1, never a signal.
TEST_P(ImpossibleHeader, IsRefusedWithOneLine)
{
    const Refused& c = GetParam();
    const ScratchFolder folder(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "");
    const auto input = folder / ("in." + c.extension);
    c.write(folder.path(), input);
    const RunResult run = runBesweet(besweetArguments(input, folder / "o.wav", {}));
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("besweet: " + input.string() + ": " + c.says, 0), 0U) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "o.wav"));
}

constexpr std::uint64_t nearTwoTo64 = ~std::uint64_t{0} - 0xff;

INSTANTIATE_TEST_SUITE_P(
    Besweet, ImpossibleHeader,
    testing::Values(
        Refused{"caf_of_64_bytes_declaring_no_data", "caf",
                [](const auto&, const auto& path) { writeBytes(path, cafDeclaringNoData()); },
                "is cut short: it ends before its audio data starts"},
        // FFmpeg reads a CAF data size of -3 as "to the end"; wrapped around, the sum of offset
        // and size would be a small number.
        Refused{"caf_data_near_2_to_64", "caf",
                [](const auto& folder, const auto& path) {
                    std::string caf = encodedFile(folder, "pcm_s16le", "caf");
                    writeSize(caf, caf.find("data") + 4, ~std::uint64_t{2}, 8, true);
                    writeBytes(path, caf);
                },
                "is cut short: its CAF header declares 18446744073709551609 bytes of audio data, "
                "more than any file holds"},
        Refused{"rf64_data_near_2_to_63", "wav",
                [](const auto& folder, const auto& path) {
                    std::string wav = encodedFile(folder, "pcm_s16le", "wav", "rf64=always");
                    writeSize(wav, wav.find("ds64") + 16, 0x7ffffffffffffff0, 8, false);
                    writeBytes(path, wav);
                },
                "is cut short: its RF64 header declares 9223372036854775792 bytes of audio "
                "data, more than any file holds"},
        Refused{"w64_data_near_2_to_64", "w64",
                [](const auto& folder, const auto& path) {
                    std::string w64 = encodedFile(folder, "pcm_s16le", "w64");
                    writeSize(w64, w64.rfind("data") + 16, nearTwoTo64, 8, false);
                    writeBytes(path, w64);
                },
                "cannot read as audio"},
        // Over 4 GiB (sparse), its data size wrapped, and a rate of 0: the reader that reads it
        // to its end is set up, and FFmpeg refuses it.
        Refused{"wrapped_wav_without_a_rate", "wav",
                [](const auto&, const auto& path) {
                    Tone tone;
                    tone.seconds = 0.01;
                    std::string header = wavBytes(tone).substr(0, 44);
                    writeSize(header, 24, 0, 4, false);
                    writeSize(header, 40, 1000, 4, false);
                    writeBytes(path, header);
                    std::filesystem::resize_file(path, 44 + (std::uint64_t{1} << 32) + 1000);
                },
                "cannot read as audio"}),
    [](const testing::TestParamInfo<Refused>& info) { return info.param.name; });

struct Streams {
    std::string name;
    std::string muxer;
    std::string extension;
    std::vector<int> channels; // of each stream
    std::vector<bool> flagged; // as the default
    int taken;                 // 1-based
    std::string says;          // the warning, empty for none
};

void PrintTo(const Streams& c, std::ostream* os)
{
    *os << c.name;
}

class SeveralStreams : public testing::TestWithParam<Streams>
{
};

// Each stream holds a tone of its own level (0.1, 0.2, ...), which tells which one was taken.
TEST_P(SeveralStreams, TheMainOneIsTakenAndNamed)
{
    const Streams& c = GetParam();
    ScratchFolder folder;
    std::vector<MuxedStream> streams;
    for (std::size_t i = 0; i < c.channels.size(); ++i) {
        Tone tone{.rate = 48000, .channels = c.channels[i], .seconds = 1.0};
        tone.amplitudes = {0.1 * static_cast<double>(i + 1)};
        MuxedStream stream{encodedBytes(tone, "ac3", 192)};
        stream.flaggedDefault = c.flagged[i];
        stream.language = i == 0 ? "" : "ger";
        stream.title = i == 0 ? "" : "Hauptprogramm";
        streams.push_back(stream);
    }
    const auto input = folder / ("in." + c.extension);
    writeMuxed(input, c.muxer, streams);
    const RunResult run = runBesweet(besweetArguments(input, folder / "o.wav", {}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Decoded out = decodeFile(folder / "o.wav");
    EXPECT_EQ(out.channels, c.channels[static_cast<std::size_t>(c.taken - 1)]);
    EXPECT_NEAR(out.peak, 0.1 * c.taken, 0.02);
    const std::string all = run.out + run.err;
    const std::string warning = "besweet: warning: the input holds ";
    const auto lines = [&](const std::string& text) {
        std::size_t count = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            ++count;
        return count;
    };
    EXPECT_EQ(lines(warning), c.says.empty() ? 0U : 1U) << all;
    if (!c.says.empty()) {
        EXPECT_EQ(lines(warning + c.says), 1U) << all;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, SeveralStreams, testing::Values(
    Streams{"mkv_second_flagged", "matroska", "mkv", {2, 2}, {false, true}, 2,
            "2 audio streams; stream 2 (language: ger, title: Hauptprogramm) is taken"},
    Streams{"mkv_first_flagged", "matroska", "mkv", {2, 2}, {true, false}, 1,
            "2 audio streams; stream 1 (language: not given, title: none) is taken"},
    Streams{"mkv_both_flagged", "matroska", "mkv", {2, 2}, {true, true}, 1,
            "2 audio streams; stream 1 (language: not given, title: none) is taken"},
    Streams{"mkv_more_channels_before_the_flag", "matroska", "mkv", {2, 1}, {false, true}, 1,
            "2 audio streams; stream 1 (language: not given, title: none) is taken"},
    Streams{"mp4_second_flagged", "mp4", "mp4", {2, 2}, {false, true}, 2,
            "2 audio streams; stream 2 (language: ger, title: none) is taken"},
    Streams{"ts_unflagged", "mpegts", "ts", {2, 2, 2}, {false, false, false}, 1,
            "3 audio streams; stream 1 (language: not given, title: none) is taken"},
    Streams{"mkv_one_stream", "matroska", "mkv", {2}, {true}, 1, ""}),
    [](const testing::TestParamInfo<Streams>& info) { return info.param.name; });
// clang-format on

struct Mp4Read {
    std::string name;
    std::string muxerOptions;
    bool throughAPipe;
    bool german;
    std::string says; // the refusal after "besweet: <input>: ", empty when the whole track comes
};

void PrintTo(const Mp4Read& c, std::ostream* os)
{
    *os << c.name;
}

class Mp4Index : public testing::TestWithParam<Mp4Read>
{
};

// 30 s of AAC, more than FFmpeg buffers: through a pipe, an index at the end is found only after
// the audio it points back to.
TEST_P(Mp4Index, AtTheEndIsNamedForAPipe)
{
    const Mp4Read& c = GetParam();
    ScratchFolder folder;
    Tone tone = containerTone();
    tone.seconds = 30.0;
    const auto file = folder / "in.mp4";
    writeEncoded(file, tone, "aac", "mp4", c.muxerOptions, 256);
    const std::string input = c.throughAPipe ? "/dev/stdin" : file.string();
    const RunResult run = runBesweet(besweetArguments(input, folder / "o.wav", {}), [&] {
        if (c.german) {
            ::setenv("LC_ALL", "C.UTF-8", 1);
            ::setenv("LANGUAGE", "de", 1);
        }
        if (c.throughAPipe)
            feedStandardInput(file);
    });
    if (c.says.empty()) {
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NEAR(decodeFile(folder / "o.wav").seconds(), 30.0, 0.1);
        return;
    }
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "besweet: " + input + ": " + c.says + "\n");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, Mp4Index, testing::Values(
    Mp4Read{"at_the_end_through_a_pipe", "", true, false,
            "is an MP4 file whose index comes after its audio, which a pipe cannot go back to: "
            "give the file itself rather than a pipe, or move the index to the front"},
    Mp4Read{"at_the_end_through_a_pipe_in_german", "", true, true,
            "ist eine MP4-Datei, deren Index hinter ihrem Audio steht, zu dem eine Pipe nicht "
            "zurückkann: die Datei selbst statt einer Pipe angeben oder den Index an den Anfang "
            "verschieben"},
    Mp4Read{"fragmented_through_a_pipe", "movflags=frag_keyframe+empty_moov", true, false, ""},
    Mp4Read{"at_the_end_in_a_file", "", false, false, ""}),
    [](const testing::TestParamInfo<Mp4Read>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet::test
