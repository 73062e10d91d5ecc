// SPDX-License-Identifier: GPL-3.0-or-later
// Runs in a narrow environment: started with standard descriptors closed, without /proc, with
// paths at the system's limits. Each either makes the track or says at once why not.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"

#include <climits>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace besweet::test
{
namespace
{

Tone oneSecond()
{
    Tone tone;
    tone.rate = 48000;
    tone.seconds = 1.0;
    return tone;
}

struct ClosedDescriptors {
    const char* name;
    std::vector<int> closed;
    bool log; // with a log file, which is opened before the track
};

void PrintTo(const ClosedDescriptors& c, std::ostream* os)
{
    *os << c.name;
}

class StartedWithClosedDescriptors : public testing::TestWithParam<ClosedDescriptors>
{
};

// Standard descriptors closed, as daemons start programs: the first file besweet opens must
// not take their place, or its progress (standard output) and its warning (standard error,
// here for -fs on a WAV file) would go into the track or the log.
TEST_P(StartedWithClosedDescriptors, KeepsItsOutputOutOfTheTrackAndTheLog)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    const std::vector<int> closed = GetParam().closed;
    const auto logPath = GetParam().log ? folder / "o.log" : std::filesystem::path();
    const RunResult run = runBesweet(besweetArguments(folder / "in.wav", folder / "o.wav",
                                                      {"-ota(", "-fs", "48000", ")"}, logPath),
                                     [closed] {
                                         for (const int fd : closed)
                                             ::close(fd);
                                     });
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string track = readBytes(folder / "o.wav");
    const std::string log = GetParam().log ? readBytes(logPath) : "";
    for (const char* text : {"encoding", "besweet:"}) {
        EXPECT_EQ(track.find(text), std::string::npos) << text;
        EXPECT_EQ(log.find(text), std::string::npos) << text << "\n" << log;
    }
    if (GetParam().log) {
        EXPECT_NE(log.find("result: done"), std::string::npos) << log;
    }
    EXPECT_EQ(decodeFile(folder / "o.wav").samples, 48000);
}

INSTANTIATE_TEST_SUITE_P(Besweet, StartedWithClosedDescriptors,
                         testing::Values(ClosedDescriptors{"input_and_output", {0, 1}, false},
                                         ClosedDescriptors{"input_and_output_logged", {0, 1}, true},
                                         ClosedDescriptors{"error", {2}, false},
                                         ClosedDescriptors{"error_logged", {2}, true},
                                         ClosedDescriptors{"output_and_error", {1, 2}, true},
                                         ClosedDescriptors{"all_three", {0, 1, 2}, false},
                                         ClosedDescriptors{"all_three_logged", {0, 1, 2}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// In a container or chroot without /proc, an unnamed temporary file could never be named: the
// named one is used from the start. (Root only: /proc is unmounted in a namespace of its own.)
TEST(Besweet, WritesTheTrackWithoutProc)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to unmount /proc in a namespace of its own";
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer runtime reads its options and its leak check from /proc";
#endif
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    constexpr int cannotUnmount = 77;
    const RunResult run =
        runBesweet(besweetArguments(folder / "in.wav", folder / "o.wav", {}, folder / "o.log"), [] {
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::umount2("/proc", MNT_DETACH) != 0 || ::access("/proc/self", F_OK) == 0)
                ::_exit(cannotUnmount);
        });
    if (run.exitCode == cannotUnmount)
        GTEST_SKIP() << "cannot unmount /proc here";
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(decodeFile(folder / "o.wav").samples, 48000);
    EXPECT_NE(readBytes(folder / "o.log").find("result: done"), std::string::npos);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.wav", "o.log", "o.wav"}));
}

// A folder path of about total bytes, made of nested folders.
std::filesystem::path deepFolder(const std::filesystem::path& base, std::size_t total)
{
    std::filesystem::path path = base;
    while (path.string().size() + 201 < total)
        path /= std::string(200, 'd');
    std::filesystem::create_directories(path);
    return path;
}

// A target path that leaves no room for the temporary file beside it, or a name longer than a
// file system takes: refused before any work, with one line.
TEST(Besweet, RefusesATargetPathTooLongBeforeAnyWork)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    const auto deep = deepFolder(folder.path(), PATH_MAX - 250);
    const std::string fill(PATH_MAX - 10 - deep.string().size(), 'o');
    for (const auto& [target, says] : {std::pair{deep / (fill + ".wav"), "the path is too long: "},
                                       std::pair{folder / (std::string(252, 'n') + ".wav"),
                                                 "the name is too long: 256 bytes, at most 255"}}) {
        SCOPED_TRACE(target.string().size());
        const RunResult run = runBesweet(besweetArguments(folder / "in.wav", target, {}));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.rfind("besweet: " + target.string() + ": " + says, 0), 0U) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "") << "the work began";
    }
}

// A log name longer than the file system takes: the track is made, and the one line about the
// log says that none could be written, not that it is incomplete.
TEST(Besweet, SaysThatNoLogCouldBeWrittenUnderAnOverlongName)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", oneSecond());
    const auto log = folder / (std::string(300, 'l') + ".log");
    const RunResult run =
        runBesweet(besweetArguments(folder / "in.wav", folder / "o.wav", {}, log));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "besweet: " + log.string() +
                           ": cannot write the log (the name is too long: 304 bytes, at most "
                           "255; choose a shorter one); going on without\n");
    EXPECT_EQ(decodeFile(folder / "o.wav").samples, 48000);
}

} // namespace
} // namespace besweet::test
