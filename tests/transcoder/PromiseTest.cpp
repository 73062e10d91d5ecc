// SPDX-License-Identifier: GPL-3.0-or-later
// What besweet promises, kept or said: a normalised track never peaks above full scale, a level
// missed is a warning on standard error, and an input cut, growing or replaced while it is read
// ends the run with the reason, the old target kept.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"
#include "support/Encoded.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace besweet::test
{
namespace
{

namespace fs = std::filesystem;

// Done to the input once besweet has started reading it; a run it is done to fails.
using WhileRead = std::function<void(const fs::path& input)>;

struct PromiseCase {
    std::string name;
    int rate;
    double seconds;
    double frequency;
    std::string sections; // split at blanks
    WhileRead whileRead;
    std::string saidOnce; // on one line of standard error, when given ("…" stands for any text)
};

void PrintTo(const PromiseCase& c, std::ostream* os)
{
    *os << c.name;
}

// How many lines of text hold the pieces of pattern between its "…", in their order.
long linesSaying(const std::string& text, const std::string& pattern)
{
    constexpr std::string_view Any = "…";
    long count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::size_t at = 0;
        std::size_t from = 0;
        bool found = true;
        while (found && from <= pattern.size()) {
            const std::size_t any = std::min(pattern.find(Any, from), pattern.size());
            at = line.find(pattern.substr(from, any - from), at);
            found = at != std::string::npos;
            at += any - from;
            from = any + Any.size();
        }
        count += found ? 1 : 0;
    }
    return count;
}

class KeepsItsPromises : public testing::TestWithParam<PromiseCase>
{
};

// As a recorder streaming it writes the header: no sizes, the data runs to the end.
std::string streamingWav(const Tone& tone)
{
    std::string wav = wavBytes(tone);
    for (const std::size_t size : {std::size_t{4}, wav.find("data") + 4})
        wav.replace(size, 4, "\xff\xff\xff\xff");
    return wav;
}

TEST_P(KeepsItsPromises, OrSaysSo)
{
    const PromiseCase& c = GetParam();
    ScratchFolder folder;
    Tone tone;
    tone.rate = c.rate;
    tone.seconds = c.seconds;
    tone.frequency = c.frequency;
    writeBytes(folder / "in.wav", streamingWav(tone));
    const fs::path output = folder / "o.track";
    writeBytes(output, "the old target");
    std::vector<std::string> sections;
    for (std::istringstream words(c.sections); words >> sections.emplace_back();)
        ;
    sections.pop_back();

    RunningBesweet running(besweetArguments(folder / "in.wav", output, sections));
    // The first progress line comes before the first packet is read.
    for (int wait = 0; c.whileRead && wait < 5000 && running.outputSoFar().empty(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (c.whileRead)
        c.whileRead(folder / "in.wav");
    const RunResult run = running.wait();

    ASSERT_EQ(run.exitCode, c.whileRead ? 1 : 0) << run.err;
    if (!c.saidOnce.empty()) {
        EXPECT_EQ(linesSaying(run.err, c.saidOnce), 1) << run.err;
    }
    if (c.whileRead)
        EXPECT_EQ(readBytes(output), "the old target");
    else
        EXPECT_LE(decodeFile(output, DecodeTo::Float).peak, 1.0);
}

const WhileRead cutToAThird = [](const fs::path& input) {
    fs::resize_file(input, fs::file_size(input) / 3);
};
const WhileRead recordMore = [](const fs::path& input) {
    std::ofstream(input, std::ios::binary | std::ios::app) << std::string(1920000, '\x40');
};
const WhileRead touch = [](const fs::path& input) {
    fs::last_write_time(input, fs::last_write_time(input) + std::chrono::seconds(5));
};
const WhileRead putAnotherInPlace = [](const fs::path& input) {
    fs::copy_file(input, input.string() + ".new");
    fs::rename(input.string() + ".new", input);
};

// The first three encodes of either tone at 32 kbps peak above full scale. At 64 kbps Layer II
// the 10 kHz tone clips before it reaches the level; AC3 at 32 kbps keeps missing the level of a
// 5.5 kHz tone on either side, without clipping.
INSTANTIATE_TEST_SUITE_P(
    Besweet, KeepsItsPromises,
    testing::Values(
        PromiseCase{"above_full_scale_ac3_32", 44100, 0.5, 4000.0,
                    "-ota( -norm 1 ) -ac3enc( -b 32 )", nullptr, ""},
        PromiseCase{"above_full_scale_again_ac3_32", 48000, 0.5, 5500.0,
                    "-ota( -norm 1 ) -ac3enc( -b 32 )", nullptr, ""},
        PromiseCase{"level_missed_layer2_64", 48000, 0.5, 10000.0,
                    "-ota( -norm 1 ) -toolame( -m j -b 64 )", nullptr,
                    "besweet: warning: level: … asked: the highest level that does not clip"},
        PromiseCase{"level_missed_ac3_32", 48000, 1.0, 5500.0, "-ota( -norm 0.8 ) -ac3enc( -b 32 )",
                    nullptr, "besweet: warning: level: … asked: the nearest of … encodes"},
        PromiseCase{"cut_to_a_third", 48000, 120.0, 440.0, "-ota( -norm 0.9 ) -ac3enc( -b 192 )",
                    cutToAThird, "in.wav: changed while it was read: it shrank from "},
        PromiseCase{"growing_recording", 48000, 120.0, 440.0, "-ota( -norm 0.9 ) -ac3enc( -b 192 )",
                    recordMore, "in.wav: is still being written: "},
        PromiseCase{"replaced", 48000, 120.0, 440.0, "-ota( -norm 0.9 ) -toolame( -b 192 )",
                    putAnotherInPlace,
                    "in.wav: changed while it was read: another file took its place"},
        PromiseCase{"touched", 48000, 120.0, 440.0, "-ota( -norm 0.9 ) -ac3enc( -b 192 )", touch,
                    "in.wav: changed while it was read: its modification time moved while its "
                    "size and identity stayed the same"}));

Tone recorded()
{
    Tone tone;
    tone.rate = 48000;
    tone.seconds = 4.0;
    return tone;
}

std::string recordedAs(const std::string& muxer)
{
    if (muxer == "wav")
        return streamingWav(recorded());
    if (muxer == "mp2")
        return encodedBytes(recorded(), "mp2", 192);
    const ScratchFolder folder;
    writeEncoded(folder / "rec", recorded(), "mp2", muxer, "", 192);
    return readBytes(folder / "rec");
}

// Slow: goes on writing; paused: keeps the file open, writing nothing more for now; gone:
// ended with the first part (a crash); reader: the whole file written, and open for reading
// only (a player).
enum class Writer { Slow, Paused, Gone, SlowPipe, Reader };

// Writes bytes as a recorder does: the first part (which ends inside a frame) at once, then a
// tenth more every 150 ms, until all is written or it is stopped.
class Recorder
{
public:
    Recorder(const fs::path& path, Writer writer, std::string bytes, std::size_t first)
        : bytes_(std::move(bytes))
    {
        if (writer == Writer::SlowPipe) {
            ::mkfifo(path.c_str(), 0644);
        } else {
            fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            written_ = put(first);
        }
        if (writer == Writer::Gone || writer == Writer::Reader)
            ::close(std::exchange(fd_, -1));
        if (writer == Writer::Reader)
            fd_ = ::open(path.c_str(), O_RDONLY);
        if (writer == Writer::Slow || writer == Writer::SlowPipe)
            thread_ = std::thread([this, path] { record(path); });
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    ~Recorder()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        ::close(fd_);
    }

private:
    std::size_t put(std::size_t bytes) const
    {
        const auto n =
            ::write(fd_, bytes_.data() + written_, std::min(bytes, bytes_.size() - written_));
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    void record(const fs::path& path)
    {
        // A pipe opens for writing once its reader is there.
        while (fd_ < 0 && !stop_) {
            fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ::fcntl(fd_, F_SETFL, 0);
        while (!stop_ && written_ < bytes_.size()) {
            if (written_ > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
            written_ += put(bytes_.size() / 10 + 1);
        }
        if (written_ == bytes_.size())
            ::close(std::exchange(fd_, -1));
    }

    std::string bytes_;
    int fd_ = -1;
    std::size_t written_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

// Whose writers besweet cannot see: run as user nobody when the test runs as root (exit 99 when
// it cannot be, or cannot reach besweet), the file's owner.
constexpr uid_t Nobody = 65534;
void asNobody()
{
    if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0 || ::access(BESWEET_PATH, X_OK) != 0)
        ::_exit(99);
}

struct RecordingCase {
    std::string name;
    std::string muxer; // "wav": with a streaming header; "mp2": the bare stream
    Writer writer;
    std::string said;          // on standard error; none: the whole recording is converted
    bool anotherUsers = false; // besweet runs as another user than the recorder
    bool onABoundary = false;  // the first part ends where a frame ends, not inside one
};

// The first part: two fifths and a bit, or (on a boundary) up to the frame that starts nearest
// two fifths; reader: all of it.
std::size_t firstPart(const RecordingCase& c, const std::string& bytes)
{
    if (c.writer == Writer::Reader)
        return bytes.size();
    const std::size_t part = bytes.size() * 2 / 5;
    if (!c.onABoundary)
        return part + 101;
    const ScratchFolder folder;
    writeBytes(folder / "whole", bytes);
    std::size_t end = 0;
    for (const std::int64_t start : packetPositions(folder / "whole"))
        if (start > 0 && static_cast<std::size_t>(start) <= part)
            end = static_cast<std::size_t>(start);
    return end;
}

void PrintTo(const RecordingCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReadsARecording : public testing::TestWithParam<RecordingCase>
{
};

// A recorder slower than the read has written part of a frame whenever the read catches up
// with it, as a file cut short ends: while it has the file open, or goes on writing to another
// user's file, the recording is still being written; once it stopped for good, it is cut short.
// A pipe is read to its end.
TEST_P(ReadsARecording, AsStillBeingWrittenOrCutShort)
{
    const RecordingCase& c = GetParam();
    if (c.anotherUsers && ::geteuid() != 0)
        GTEST_SKIP() << "only root can run besweet as another user";
    ScratchFolder folder;
    ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);
    const std::string bytes = recordedAs(c.muxer);
    const fs::path input = folder / ("in." + c.muxer);
    const fs::path output = folder / "o.wav";
    writeBytes(output, "the old target");
    ASSERT_EQ(::chmod(output.c_str(), 0666), 0);
    RunResult run;
    {
        const Recorder recorder(input, c.writer, bytes, firstPart(c, bytes));
        run = RunningBesweet(besweetArguments(input, output, {}), -1,
                             c.anotherUsers ? asNobody : ChildSetup{})
                  .wait();
    }
    if (run.exitCode == 99)
        GTEST_SKIP() << "cannot run besweet as user nobody";

    if (c.said.empty()) {
        ASSERT_EQ(run.exitCode, 0) << run.err;
        writeBytes(folder / "whole", bytes);
        EXPECT_EQ(decodeFile(output).samples, decodeFile(folder / "whole").samples);
        return;
    }
    ASSERT_EQ(run.exitCode, 1) << run.err;
    const std::string said = run.errors();
    EXPECT_EQ(said.rfind("besweet: " + input.string() + ": " + c.said, 0), 0U) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(readBytes(output), "the old target");
}

const std::string stillWritten = "is still being written: ";
const std::string cutShort = "is cut short: its last frame is incomplete";

INSTANTIATE_TEST_SUITE_P(
    Besweet, ReadsARecording,
    testing::Values(
        RecordingCase{"ts_recorder", "mpegts", Writer::Slow, stillWritten},
        RecordingCase{"mp2_recorder", "mp2", Writer::Slow, stillWritten},
        RecordingCase{"wav_recorder", "wav", Writer::Slow, stillWritten},
        RecordingCase{"ts_recorder_paused", "mpegts", Writer::Paused,
                      stillWritten + "it ends cut short, and another program has it open"},
        RecordingCase{"ts_recorder_of_another_user", "mpegts", Writer::Slow,
                      stillWritten + "it grew from ", true},
        RecordingCase{"mp2_recorder_gone", "mp2", Writer::Gone, cutShort},
        RecordingCase{"ts_recorder_gone", "mpegts", Writer::Gone, cutShort},
        RecordingCase{"ts_recorder_of_another_user_gone", "mpegts", Writer::Gone, cutShort, true},
        RecordingCase{"mp2_through_a_pipe", "mp2", Writer::SlowPipe, ""},
        RecordingCase{"mp2_recorder_paused_on_a_frame_boundary", "mp2", Writer::Paused,
                      stillWritten + "another program has it open for writing", false, true},
        RecordingCase{"wav_recorder_paused_on_a_frame_boundary", "wav", Writer::Paused,
                      stillWritten + "another program has it open for writing", false, true},
        RecordingCase{"mp2_recorder_paused_inside_a_frame", "mp2", Writer::Paused,
                      stillWritten + "it ends cut short, and another program has it open"},
        RecordingCase{"mp2_open_in_a_player", "mp2", Writer::Reader, ""},
        RecordingCase{"wav_open_in_a_player", "wav", Writer::Reader, ""}));

} // namespace
} // namespace besweet::test
