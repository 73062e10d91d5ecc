// SPDX-License-Identifier: GPL-3.0-or-later
// Runs that must not produce a track: broken inputs (exit 1), wrong command lines (exit 2),
// an output that is the input, an interrupted run. None may leave a temporary file behind or
// touch an existing target.
#include "cli/Interrupt.h"
#include "encode/ChunkEncoder.h"
#include "output/OutputFile.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"
#include "support/Encoded.h"
#include "support/SmallDisk.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace besweet::test
{
namespace
{

const std::string previousTake = "the previous take, which must survive";

Tone shortTone()
{
    Tone t;
    t.seconds = 1.0;
    return t;
}

std::string randomBytes(std::size_t count)
{
    std::mt19937 random(7);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random() & 0xff);
    return bytes;
}

// The WAV file of the short tone with another sample rate in its header.
std::string withRate(std::uint32_t rate)
{
    std::string bytes = wavBytes(shortTone());
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(24 + i)] = static_cast<char>(rate >> (8 * i) & 0xff);
    return bytes;
}

// The WAV file of the short tone with another block align in its header.
std::string withBlockAlign(std::uint16_t blockAlign)
{
    std::string bytes = wavBytes(shortTone());
    bytes[32] = static_cast<char>(blockAlign & 0xff);
    bytes[33] = static_cast<char>(blockAlign >> 8);
    return bytes;
}

// A float WAV file of the short tone with one sample at half a second that is no number (or a
// number no recording holds).
std::string withNonFinite(float value)
{
    Tone tone = shortTone();
    tone.type = SampleType::F32;
    std::string bytes = wavBytes(tone);
    std::memcpy(bytes.data() + 44 + 8 * 22050 + 4, &value, sizeof value);
    return bytes;
}

struct BrokenInput {
    std::string name;
    std::function<std::string()> bytes; // nullptr: the input does not exist
    std::string says;
    std::vector<std::string> sections = {}; // after -core( ... )
};

void PrintTo(const BrokenInput& c, std::ostream* os)
{
    *os << c.name;
}

class RefusesBrokenInput : public testing::TestWithParam<BrokenInput>
{
};

TEST_P(RefusesBrokenInput, WithExitOneAndTheTargetUntouched)
{
    const BrokenInput& c = GetParam();
    ScratchFolder folder;
    const auto input = folder / "in.wav";
    if (c.bytes)
        writeBytes(input, c.bytes());
    writeBytes(folder / "o.ac3", previousTake);
    const auto before = folder.names();

    std::vector<std::string> arguments{
        "-core(", "-input", input.string(), "-output", (folder / "o.ac3").string(), ")"};
    arguments.insert(arguments.end(), c.sections.begin(), c.sections.end());
    const RunResult run = runBesweet(arguments);
    EXPECT_EQ(run.exitCode, 1);
    const std::string failure = run.errors();
    EXPECT_EQ(failure.rfind("besweet: " + input.string() + ": ", 0), 0U) << run.err;
    EXPECT_NE(failure.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(std::count(failure.begin(), failure.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(readBytes(folder / "o.ac3") == previousTake) << "the target changed";
    EXPECT_EQ(folder.names(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, RefusesBrokenInput,
    testing::Values(
        BrokenInput{"missing", nullptr, "No such file"},
        BrokenInput{"empty", [] { return std::string(); }, "empty"},
        BrokenInput{"header_only", [] { return wavBytes(shortTone()).substr(0, 44); },
                    "is cut short: its header promises 1.00 s, it holds 0.00 s"},
        BrokenInput{"cut_between_samples",
                    [] { return wavBytes(shortTone()).substr(0, 44 + 4 * 20000); }, "cut short"},
        BrokenInput{"cut_inside_a_sample",
                    [] { return wavBytes(shortTone()).substr(0, 44 + 4 * 20000 + 3); },
                    "is cut short: its header promises 1.00 s, it holds 0.45 s"},
        BrokenInput{"two_bytes_short",
                    [] {
                        const std::string whole = wavBytes(shortTone());
                        return whole.substr(0, whole.size() - 2);
                    },
                    "is cut short: its header promises 1.00 s, it holds 2 bytes less"},
        BrokenInput{"no_block_align_cut_short",
                    [] { return withBlockAlign(0).substr(0, 44 + 4 * 20000); },
                    "is cut short: its RIFF WAV header promises 176400 bytes, it holds 80000 "
                    "(45 %)"},
        BrokenInput{"half_a_header", [] { return wavBytes(shortTone()).substr(0, 30); },
                    "cannot read as audio"},
        BrokenInput{"random_bytes", [] { return randomBytes(50000); },
                    "cannot read as audio: damaged data"},
        BrokenInput{"text", [] { return std::string(4000, 'x'); }, "cannot read as audio"},
        BrokenInput{"rate_of_1_hz", [] { return withRate(1); }, "a sample rate of 1 Hz"},
        BrokenInput{"rate_of_2147466112_hz", [] { return withRate(2147466112U); },
                    "a sample rate of 2147466112 Hz"},
        BrokenInput{"infinite_sample", [] { return withNonFinite(INFINITY); },
                    "corrupt audio data near 0.50 s: a sample is not a finite number"},
        BrokenInput{"infinite_sample_normalised",
                    [] { return withNonFinite(-INFINITY); },
                    "corrupt audio data near 0.50 s: a sample is not a finite number",
                    {"-ota(", "-norm", "1.00", ")"}},
        BrokenInput{"sample_at_1000_normalised",
                    [] { return withNonFinite(1000.0F); },
                    "corrupt audio data near 0.50 s: a sample lies 24 dB or more above full "
                    "scale, which no recording reaches",
                    {"-ota(", "-norm", "0.95", ")"}},
        BrokenInput{"sample_at_minus_16", [] { return withNonFinite(-16.0F); },
                    "corrupt audio data near 0.50 s: a sample lies 24 dB or more above"},
        BrokenInput{"nan_sample_normalised",
                    [] { return withNonFinite(NAN); },
                    "corrupt audio data near 0.50 s: a sample is not a finite number",
                    {"-ota(", "-norm", "1.00", ")"}}),
    [](const testing::TestParamInfo<BrokenInput>& info) { return info.param.name; });

// A float master may peak above full scale: 12 dB over is a recording, not damage.
TEST(Besweet, TakesAFloatSampleWellAboveFullScale)
{
    ScratchFolder folder;
    writeBytes(folder / "in.wav", withNonFinite(4.0F));
    const RunResult run = runBesweet(
        besweetArguments(folder / "in.wav", folder / "o.wav", {"-ota(", "-norm", "0.95", ")"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(decodeFile(folder / "o.wav").samples, 44100);
}

struct WrongLine {
    std::string name;
    std::vector<std::string> sections; // after -core( -input in.wav -output <output> )
    std::string output;
};

void PrintTo(const WrongLine& c, std::ostream* os)
{
    *os << c.name;
}

class RefusesWrongLine : public testing::TestWithParam<WrongLine>
{
};

TEST_P(RefusesWrongLine, WithExitTwoAndNothingWritten)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", shortTone());
    const std::string inputBytes = readBytes(folder / "in.wav");
    const auto output = folder / GetParam().output;
    if (!std::filesystem::exists(output))
        writeBytes(output, previousTake);
    const auto before = folder.names();

    std::vector<std::string> arguments{"-core(",  "-input",        (folder / "in.wav").string(),
                                       "-output", output.string(), ")"};
    arguments.insert(arguments.end(), GetParam().sections.begin(), GetParam().sections.end());
    const RunResult run = runBesweet(arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("besweet: ", 0), 0U) << run.err;
    EXPECT_EQ(folder.names(), before);
    EXPECT_TRUE(readBytes(folder / "in.wav") == inputBytes) << "the input changed";
    if (GetParam().output != "in.wav") {
        EXPECT_TRUE(readBytes(output) == previousTake) << "the target changed";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, RefusesWrongLine,
    testing::Values(WrongLine{"output_is_the_input", {"-ac3enc(", "-b", "192", ")"}, "in.wav"},
                    WrongLine{"unknown_extension", {}, "o.ogg"},
                    WrongLine{
                        "stereo_below_64", {"-toolame(", "-m", "s", "-b", "32", ")"}, "o.mpa"},
                    WrongLine{"unclosed_section", {"-ac3enc(", "-b", "192"}, "o.ac3"}),
    [](const testing::TestParamInfo<WrongLine>& info) { return info.param.name; });

// One rule for every framed format: the whole file is taken, one cut inside its last frame (or
// inside that frame's header) is refused.
TEST(Besweet, RefusesMpegAudioAndAc3CutInsideTheirLastFrame)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", shortTone());
    for (const char* name : {"whole.mpa", "whole.ac3"})
        ASSERT_EQ(runBesweet({"-core(", "-input", (folder / "in.wav").string(), "-output",
                              (folder / name).string(), ")"})
                      .exitCode,
                  0);
    writeBytes(folder / "whole.mp3", encodedBytes(shortTone(), "libmp3lame", 128));
    // MPEG-2 Layer III: 576 samples a frame, half of MPEG-1's.
    Tone half = shortTone();
    half.rate = 22050;
    writeBytes(folder / "whole.22k.mp3", encodedBytes(half, "libmp3lame", 64));
    for (const char* name : {"whole.mpa", "whole.ac3", "whole.mp3", "whole.22k.mp3"}) {
        const std::string whole = readBytes(folder / name);
        const auto wholeRun = runBesweet({"-core(", "-input", (folder / name).string(), "-output",
                                          (folder / "w.wav").string(), ")"});
        EXPECT_EQ(wholeRun.exitCode, 0) << name << ": " << wholeRun.err;
        // A frame is at least 96 bytes long here: 300 bytes off cuts into one, 3 bytes past a
        // frame's start leave part of its header.
        const auto cut = folder / ("cut" + std::string(name).substr(5));
        const auto lastFrame = static_cast<std::size_t>(packetPositions(folder / name).back());
        for (const std::size_t keep : {whole.size() - 300, lastFrame + 3}) {
            SCOPED_TRACE(std::string(name) + " cut to " + std::to_string(keep));
            writeBytes(cut, whole.substr(0, keep));
            const RunResult run = runBesweet(
                {"-core(", "-input", cut.string(), "-output", (folder / "o.wav").string(), ")"});
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_NE(run.err.find("is cut short: its last frame is incomplete"), std::string::npos)
                << run.err;
            EXPECT_FALSE(std::filesystem::exists(folder / "o.wav"));
        }
    }
}

TEST(Besweet, RefusesAnOutputThatIsTheInputUnderAnotherName)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", shortTone());
    const std::string inputBytes = readBytes(folder / "in.wav");
    std::filesystem::create_hard_link(folder / "in.wav", folder / "link.wav");
    std::filesystem::create_symlink(folder / "in.wav", folder / "sym.wav");
    for (const char* other : {"link.wav", "sym.wav"}) {
        const RunResult run = runBesweet({"-core(", "-input", (folder / "in.wav").string(),
                                          "-output", (folder / other).string(), ")"});
        EXPECT_EQ(run.exitCode, 2) << other;
        EXPECT_NE(run.err.find("is the input"), std::string::npos) << run.err;
    }
    // The log is never written over the input either.
    const RunResult run =
        runBesweet({"-core(", "-input", (folder / "in.wav").string(), "-output",
                    (folder / "o.wav").string(), "-logfile", (folder / "in.wav").string(), ")"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(readBytes(folder / "in.wav") == inputBytes) << "the input changed";
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav", "link.wav", "sym.wav"}));
}

// Found before any work (no pass begins), not after it.
TEST(Besweet, FailsAtOnceOnATargetItCannotWrite)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", shortTone());
    std::filesystem::create_directory(folder / "taken.ac3");
    for (const auto& [output, says] : {std::pair{folder / "missing" / "o.ac3", "No such file"},
                                       std::pair{folder / "taken.ac3", "is a folder"}}) {
        SCOPED_TRACE(output);
        const RunResult run =
            runBesweet({"-core(", "-input", (folder / "in.wav").string(), "-output",
                        output.string(), ")", "-ota(", "-norm", "0.9", ")"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.rfind("besweet: " + output.string() + ": ", 0), 0U) << run.err;
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav", "taken.ac3"}));
}

TEST(Besweet, LogsAFailedRunToo)
{
    ScratchFolder folder;
    writeBytes(folder / "in.wav", std::string(4000, 'x'));
    const auto log = folder / "o.log";
    const RunResult run = runBesweet({"-core(", "-input", (folder / "in.wav").string(), "-output",
                                      (folder / "o.ac3").string(), "-logfile", log.string(), ")"});
    EXPECT_EQ(run.exitCode, 1);
    const std::string text = readBytes(log);
    EXPECT_NE(text.find("command line: "), std::string::npos) << text;
    EXPECT_NE(text.find("result: failed after "), std::string::npos) << text;
    EXPECT_NE(text.find("cannot read as audio"), std::string::npos) << text;
}

TEST(Besweet, LeavesNothingWhenTheDiskRunsFull)
{
    ScratchFolder folder;
    Tone tone;
    tone.seconds = 6.0;
    writeWav(folder / "in.wav", tone);
    const SmallDisk disk(folder / "small");
    if (!disk.mounted())
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    const auto output = folder / "small" / "o.ac3";
    const RunResult run = runBesweet(
        {"-core(", "-input", (folder / "in.wav").string(), "-output", output.string(), ")"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("No space left"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(folder / "small"));
}

// The input is a pipe fed by the test, so the run is surely under way (its encoding pass has
// begun, the temporary file is open) when the signal comes, and stays so as long as the test
// likes.
void stopsCleanlyOn(int signal, bool previousTarget)
{
    ScratchFolder folder;
    const auto input = folder / "in.wav";
    ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
    if (previousTarget)
        writeBytes(folder / "o.ac3", previousTake);

    RunningBesweet child(
        {"-core(", "-input", input.string(), "-output", (folder / "o.ac3").string(), ")"});
    Tone tone;
    tone.seconds = 10.0;
    const std::string wav = wavBytes(tone);
    // Without a reader (besweet gone already) a plain open would wait for ever.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int pipe = -1;
    while (pipe < 0 && std::chrono::steady_clock::now() < giveUp) {
        pipe = ::open(input.c_str(), O_WRONLY | O_NONBLOCK);
        if (pipe < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GE(pipe, 0);
    ::fcntl(pipe, F_SETFL, 0);
    ASSERT_EQ(::write(pipe, wav.data(), 400000), 400000);

    while (child.outputSoFar().find("encoding") == std::string::npos &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(child.outputSoFar().find("encoding"), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    child.signal(signal);
    const RunResult run = child.wait();
    ::close(pipe);

    EXPECT_TRUE(run.signal == signal || run.exitCode > 0) << run.exitCode;
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
    if (previousTarget) {
        EXPECT_TRUE(readBytes(folder / "o.ac3") == previousTake) << "the target changed";
        EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav", "o.ac3"}));
    } else {
        EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav"}));
    }
}

TEST(Besweet, RemovesItsTemporaryFileOnSigtermSigintAndSighup)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        stopsCleanlyOn(signal, true);
    }
    // A closed terminal, with no earlier take to keep.
    SCOPED_TRACE(SIGHUP);
    stopsCleanlyOn(SIGHUP, false);
}

// A signal that comes while the track is being finished: the encoders' drain and the rename
// each see it, and the target is not replaced. Returns 0 when both stopped.
int finishAfterASignal(const std::filesystem::path& target)
{
    installInterruptHandlers();
    std::raise(SIGTERM);
    const auto stops = [](auto&& step) {
        try {
            step();
        } catch (const Interrupted&) {
            return true;
        }
        return false;
    };
    ChunkEncoder chunks(
        target.string(), 1, 1, [] { return CodecContextPtr(); }, [](AVPacket&) {});
    const bool drainStops = stops([&] { chunks.finish(); });
    OutputFile file(target.string());
    const bool commitStops = stops([&] { file.commit(); });
    return drainStops && commitStops && !std::filesystem::exists(target) ? 0 : 1;
}

// In a child: the signal note stays for the rest of a process.
TEST(BesweetDeathTest, StopsFinishingOnASignal)
{
    ScratchFolder folder;
    EXPECT_EXIT(std::_Exit(finishAfterASignal(folder / "o.ac3")), testing::ExitedWithCode(0), "");
    EXPECT_TRUE(folder.names().empty());
}

// The window reads the progress through a pipe; when it is gone, the track is still made.
TEST(Besweet, FinishesWhenNobodyReadsItsProgress)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", shortTone());
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    RunningBesweet child({"-core(", "-input", (folder / "in.wav").string(), "-output",
                          (folder / "o.ac3").string(), ")", "-ota(", "-norm", "0.9", ")"},
                         ends[1]);
    ::close(ends[1]);
    const RunResult run = child.wait();
    EXPECT_EQ(run.exitCode, 0) << "signal " << run.signal << ": " << run.err;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav", "o.ac3"}));
    EXPECT_EQ(decodeFile(folder / "o.ac3").codec, "ac3");
}

} // namespace
} // namespace besweet::test
