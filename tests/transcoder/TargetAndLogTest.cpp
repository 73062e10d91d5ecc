// SPDX-License-Identifier: GPL-3.0-or-later
// What a run does to the files around it: a replaced target keeps its permissions and owner, a
// linked target is written where the link points, a target the user may not write is left
// alone, long names work, a file size limit or SIGKILL leaves no temporary file; the log is
// never written through a link nor over the output, never mixed with another run's, says when
// it could not be written, and holds FFmpeg's messages without memory addresses.
#include "cli/RunLog.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"
#include "support/SmallDisk.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace besweet::test
{
namespace
{

namespace fs = std::filesystem;

constexpr uid_t Nobody = 65534;

Tone oneSecond()
{
    Tone t;
    t.seconds = 1.0;
    return t;
}

std::vector<std::string> core(const fs::path& input, const fs::path& output,
                              const std::string& logfile = {})
{
    return besweetArguments(input, output, {}, logfile);
}

struct stat statOf(const fs::path& path)
{
    struct stat info {
    };
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class KeepsPermissions : public testing::TestWithParam<mode_t>
{
};

// Root can hand the file to another owner, as it was; anyone else keeps their own file.
TEST_P(KeepsPermissions, OfAReplacedTarget)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    const auto target = folder / "o.ac3";
    writeBytes(target, "an older take");
    ASSERT_EQ(::chmod(target.c_str(), GetParam()), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), Nobody, Nobody), 0);
    }

    const RunResult run = runBesweet(core(folder / "in.wav", target));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const struct stat after = statOf(target);
    EXPECT_EQ(after.st_mode & 07777, GetParam());
    EXPECT_EQ(after.st_uid, root ? Nobody : ::geteuid());
    EXPECT_EQ(decodeFile(target).codec, "ac3");
}

INSTANTIATE_TEST_SUITE_P(Besweet, KeepsPermissions, testing::Values(0640, 0600, 0664),
                         [](const testing::TestParamInfo<mode_t>& info) {
                             return "mode_" + std::to_string(info.param >> 6) +
                                    std::to_string((info.param >> 3) & 7) +
                                    std::to_string(info.param & 7);
                         });

TEST(Besweet, GivesANewTargetWhatTheUmaskAllows)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    const RunResult run =
        runBesweet(core(folder / "in.wav", folder / "o.ac3"), [] { ::umask(027); });
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(statOf(folder / "o.ac3").st_mode & 0777, 0640U);
}

// The link stays; what it points to gets the track, also when it does not exist yet.
TEST(Besweet, WritesALinkedTargetWhereTheLinkPoints)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    fs::create_directory(folder / "tracks");
    writeBytes(folder / "tracks" / "old.ac3", "an older take");
    fs::create_symlink("tracks/old.ac3", folder / "o.ac3");
    fs::create_symlink(folder / "tracks" / "new.ac3", folder / "n.ac3");
    for (const char* link : {"o.ac3", "n.ac3"}) {
        const RunResult run = runBesweet(core(folder / "in.wav", folder / link));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(fs::is_symlink(folder / link)) << link;
    }
    EXPECT_EQ(decodeFile(folder / "tracks" / "old.ac3").codec, "ac3");
    EXPECT_EQ(decodeFile(folder / "tracks" / "new.ac3").codec, "ac3");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav", "n.ac3", "o.ac3", "tracks"}));
}

// As cp would: a file the user may not write is not replaced, even in a folder they may write.
// Root may write anything, so as root the run is made as user nobody.
// Run as user nobody when the test runs as root. The target's folder lies inside a scratch
// folder of its own, so no permission of the system's temporary folder is touched.
TEST(Besweet, RefusesATargetTheUserMayNotWrite)
{
    ScratchFolder scratch;
    const auto folder = scratch / "shared";
    std::filesystem::create_directory(folder);
    writeWav(folder / "in.wav", oneSecond());
    const auto target = folder / "o.ac3";
    writeBytes(target, "someone else's take");
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0755), 0);
    ChildSetup asNobody;
    if (::geteuid() == 0) {
        asNobody = [] {
            if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
                ::_exit(99);
            if (::access(BESWEET_PATH, X_OK) != 0)
                ::_exit(98);
        };
    }
    const RunResult run = runBesweet(core(folder / "in.wav", target), asNobody);
    if (run.exitCode == 99)
        GTEST_SKIP() << "cannot run as user nobody";
    if (run.exitCode == 98)
        GTEST_SKIP() << "user nobody cannot reach " << BESWEET_PATH
                     << ": a folder above it is closed to others";
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "besweet: " + target.string() + ": may not be written: Permission denied\n");
    EXPECT_EQ(readBytes(target), "someone else's take");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::ranges::sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"in.wav", "o.ac3"}));
}

class LongTargetName : public testing::TestWithParam<int>
{
};

TEST_P(LongTargetName, IsWritten)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    // Some two-byte characters, so a shortened temporary name must not cut one in half.
    std::string name = "ä";
    while (name.size() + 4 < static_cast<std::size_t>(GetParam()))
        name += name.size() % 7 ? "n" : "ü";
    name.resize(static_cast<std::size_t>(GetParam()) - 4, 'n');
    name += ".mpa";
    const RunResult run = runBesweet(core(folder / "in.wav", folder / name));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(decodeFile(folder / name).codec, "mp2");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav", name}));
}

INSTANTIATE_TEST_SUITE_P(Besweet, LongTargetName, testing::Values(240, 250, 255));

TEST(Besweet, FailsCleanlyAtTheFileSizeLimit)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    const RunResult run = runBesweet(core(folder / "in.wav", folder / "o.wav"), [] {
        const rlimit limit{20000, 20000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(run.exitCode, 1) << "signal " << run.signal;
    EXPECT_EQ(run.errors(),
              "besweet: " + (folder / "o.wav").string() + ": cannot write: File too large\n");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav"}));
}

bool unnamedFilesWork(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// A pipe as input keeps the run going until the test kills it.
TEST(Besweet, LeavesNoTemporaryFileWhenKilled)
{
    ScratchFolder folder;
    if (!unnamedFilesWork(folder.path()))
        GTEST_SKIP() << "this file system has no unnamed files (O_TMPFILE)";
    const auto input = folder / "in.wav";
    ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
    RunningBesweet child(core(input, folder / "o.ac3", (folder / "o.ac3.log").string()));
    Tone tone;
    tone.seconds = 10.0;
    const std::string wav = wavBytes(tone);
    const int pipe = ::open(input.c_str(), O_WRONLY);
    ASSERT_GE(pipe, 0);
    ASSERT_EQ(::write(pipe, wav.data(), 400000), 400000);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (child.outputSoFar().find("encoding") == std::string::npos &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    child.signal(SIGKILL);
    EXPECT_EQ(child.wait().signal, SIGKILL);
    ::close(pipe);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav"}));
}

// A link in the log's place is replaced by the log; the file it pointed to stays as it was.
TEST(Besweet, NeverWritesTheLogThroughALink)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    writeBytes(folder / "notes.txt", "my own notes");
    fs::create_symlink("notes.txt", folder / "o.ac3.log");
    const RunResult run =
        runBesweet(core(folder / "in.wav", folder / "o.ac3", (folder / "o.ac3.log").string()));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readBytes(folder / "notes.txt"), "my own notes");
    EXPECT_FALSE(fs::is_symlink(folder / "o.ac3.log"));
    EXPECT_NE(readBytes(folder / "o.ac3.log").find("result: done"), std::string::npos);
}

// The same file under another name, existing yet or not: the command line is wrong.
TEST(Besweet, RefusesALogThatIsTheOutput)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    fs::create_directory(folder / "sub");
    writeBytes(folder / "taken.mpa", "an older take");
    fs::create_symlink("taken.mpa", folder / "taken.log");
    for (const auto& [output, log] :
         {std::pair{folder / "o.mpa", (folder / "." / "o.mpa").string()},
          std::pair{folder / "o.mpa", (folder / "sub" / ".." / "o.mpa").string()},
          std::pair{folder / "taken.mpa", (folder / "taken.log").string()}}) {
        SCOPED_TRACE(log);
        const RunResult run = runBesweet(core(folder / "in.wav", output, log));
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "besweet: " + log + ": is the output file; choose another log file\n");
    }
    EXPECT_EQ(readBytes(folder / "taken.mpa"), "an older take");
    EXPECT_EQ(folder.names(),
              (std::vector<std::string>{"in.wav", "sub", "taken.log", "taken.mpa"}));
}

// The first run is held (SIGSTOP) in the middle of its work while a second one, sharing the
// log, runs whole.
TEST(Besweet, NeverMixesTheLogsOfTwoRuns)
{
    ScratchFolder folder;
    Tone tone;
    tone.seconds = 20.0;
    writeWav(folder / "long.wav", tone);
    writeWav(folder / "short.wav", oneSecond());
    const std::string log = (folder / "shared.log").string();
    RunningBesweet first(core(folder / "long.wav", folder / "first.ac3", log));
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (first.outputSoFar().find("encoding") == std::string::npos &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    first.signal(SIGSTOP);

    const RunResult run = runBesweet(core(folder / "short.wav", folder / "second.ac3", log));
    first.signal(SIGCONT);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string second = readBytes(log);
    ASSERT_EQ(first.wait().exitCode, 0);
    const std::string last = readBytes(log);

    EXPECT_EQ(count(second, "started"), 1U) << second;
    EXPECT_NE(second.find("second.ac3"), std::string::npos) << second;
    EXPECT_EQ(count(last, "started"), 1U) << last;
    EXPECT_EQ(count(last, "result: done"), 1U) << last;
    EXPECT_EQ(last.find("second.ac3"), std::string::npos) << last;
}

// The track is fine; the log on a full disk is not, and standard error says so. A log that
// was there before is kept rather than replaced by an incomplete one.
TEST(Besweet, SaysWhenTheLogCouldNotBeWritten)
{
    for (const bool previous : {false, true}) {
        SCOPED_TRACE(previous ? "a previous log" : "no previous log");
        ScratchFolder folder;
        writeWav(folder / "in.wav", oneSecond());
        const SmallDisk disk(folder / "small");
        if (!disk.mounted())
            GTEST_SKIP() << "needs root to mount a small tmpfs";
        const std::string log = (folder / "small" / "o.log").string();
        if (previous)
            writeBytes(log, "the previous run's log");
        // Fill the disk all but a few bytes.
        for (int i = 0;; ++i) {
            std::ofstream filler(folder / "small" / ("filler" + std::to_string(i)));
            filler << std::string(4096, 'x');
            if (!filler.flush())
                break;
        }
        const RunResult run = runBesweet(core(folder / "in.wav", folder / "o.ac3", log));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.errors().rfind("besweet: " + log + ": ", 0), 0U) << run.err;
        EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
        if (previous) {
            EXPECT_NE(run.err.find("the previous log is kept: "), std::string::npos) << run.err;
            EXPECT_EQ(readBytes(log), "the previous run's log");
        } else {
            EXPECT_FALSE(fs::exists(log) && fs::file_size(log) == 0) << "an empty log is left";
        }
        EXPECT_EQ(decodeFile(folder / "o.ac3").codec, "ac3");
    }
}

// A target on a disk that fills up: the last line names the cause (no space left), not the
// log that the same full disk left behind, and no empty log is left.
TEST(Besweet, NamesAFullDiskAsTheCauseAndLeavesNoEmptyLog)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    const SmallDisk disk(folder / "small");
    if (!disk.mounted())
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    for (int i = 0;; ++i) {
        std::ofstream filler(folder / "small" / ("filler" + std::to_string(i)));
        filler << std::string(4096, 'x');
        if (!filler.flush())
            break;
    }
    const auto target = folder / "small" / "o.ac3";
    const std::string log = target.string() + ".log";
    const RunResult run = runBesweet(core(folder / "in.wav", target, log));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const auto lastLine = run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1);
    EXPECT_EQ(lastLine, "besweet: " + target.string() + ": cannot write: No space left on device\n")
        << run.err;
    EXPECT_FALSE(fs::exists(log) && fs::file_size(log) == 0) << "an empty log is left";
}

// A new log takes its mode and owner from an earlier log of that name, never from the file a
// link in its place points to.
TEST(Besweet, TakesNothingFromTheFileALinkedLogPointsTo)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    writeBytes(folder / "notes.txt", "someone's notes");
    ASSERT_EQ(::chmod((folder / "notes.txt").c_str(), 0606), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((folder / "notes.txt").c_str(), Nobody, Nobody), 0);
    }
    fs::create_symlink("notes.txt", folder / "o.log");
    const RunResult run =
        runBesweet(core(folder / "in.wav", folder / "o.ac3", (folder / "o.log").string()),
                   [] { ::umask(022); });
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const struct stat log = statOf(folder / "o.log");
    EXPECT_TRUE(S_ISREG(log.st_mode));
    EXPECT_EQ(log.st_mode & 0777, 0644U);
    EXPECT_EQ(log.st_uid, ::geteuid());
}

// Where the system protects links in shared folders (protected_symlinks), a link another user
// planted in a sticky folder is not followed, not even by root: the target it points to stays.
TEST(Besweet, FollowsNoLinkTheSystemProtectsAgainst)
{
    if (readBytes("/proc/sys/fs/protected_symlinks").rfind('1', 0) != 0 || ::geteuid() != 0)
        GTEST_SKIP() << "needs root and protected_symlinks";
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    fs::create_directory(folder / "private");
    writeBytes(folder / "private" / "secret", "root's own file");
    ASSERT_EQ(::chmod((folder / "private" / "secret").c_str(), 0600), 0);
    fs::create_directory(folder / "shared");
    ASSERT_EQ(::chmod((folder / "shared").c_str(), 01777), 0);
    fs::create_symlink(folder / "private" / "secret", folder / "shared" / "o.ac3");
    ASSERT_EQ(::lchown((folder / "shared" / "o.ac3").c_str(), Nobody, Nobody), 0);
    const RunResult run = runBesweet(core(folder / "in.wav", folder / "shared" / "o.ac3"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("besweet: " + (folder / "shared" / "o.ac3").string() + ": ", 0), 0U)
        << run.err;
    EXPECT_EQ(readBytes(folder / "private" / "secret"), "root's own file");
}

// An MPEG audio input makes the demuxer warn that its duration is an estimate.
TEST(Besweet, LogsLibraryMessagesWithoutAddresses)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    ASSERT_EQ(runBesweet(core(folder / "in.wav", folder / "in.mpa")).exitCode, 0);
    const auto log = folder / "o.log";
    ASSERT_EQ(runBesweet(core(folder / "in.mpa", folder / "o.ac3", log.string())).exitCode, 0);
    const std::string text = readBytes(log);
    EXPECT_NE(text.find("ffmpeg: [mp3] Estimating duration"), std::string::npos) << text;
    EXPECT_EQ(text.find(" @ 0x"), std::string::npos) << text;
}

struct LibraryText {
    const char* formatted;
    const char* line;
};

class LibraryLine : public testing::TestWithParam<LibraryText>
{
};

TEST_P(LibraryLine, IsReadable)
{
    EXPECT_EQ(libraryLine(GetParam().formatted), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Besweet, LibraryLine,
                         testing::Values(LibraryText{"[mp3float @ 0x55d0c8a3b2c0] Header missing\n",
                                                     "ffmpeg: [mp3float] Header missing"},
                                         LibraryText{"[mp3 @ 0x1] [mp3float @ 0xAbC0] inner\r\n",
                                                     "ffmpeg: [mp3] [mp3float] inner"},
                                         LibraryText{"no prefix @ 0x but no digits",
                                                     "ffmpeg: no prefix @ 0x but no digits"},
                                         LibraryText{"plain", "ffmpeg: plain"}));

} // namespace
} // namespace besweet::test
