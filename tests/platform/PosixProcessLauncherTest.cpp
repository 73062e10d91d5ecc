// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixProcessLauncher.h"

#include "ProcessTestSupport.h"
#include "common/UniqueFd.h"
#include "job/OutputTail.h"
#include "job/RuntimeError.h"
#include "platform/BundledTranscoder.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

const std::string FakeTranscoder = FAKE_TRANSCODER;

bool noChildLeft()
{
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

class LauncherTest : public ProcessTest
{
protected:
    RecordingView view;
    PosixProcessLauncher launcher{&view};

    ProcessEnd runToEnd(const std::vector<std::string>& arguments, bool show = false)
    {
        auto process = launcher.launch(arguments, "", show);
        guardAgainstHang(*process);
        return launcher.fAppControl(*process);
    }
};

// ---- how the program ends ------------------------------------------------------------------

struct EndCase {
    const char* variable;
    const char* value;
    ProcessEnd end;
};

void PrintTo(const EndCase& c, std::ostream* os)
{
    *os << c.variable << '=' << c.value;
}

class ProcessEndTest : public LauncherTest, public testing::WithParamInterface<EndCase>
{
};

TEST_P(ProcessEndTest, WaitReturnsHowTheProgramEndedAndReapsIt)
{
    setEnv(GetParam().variable, GetParam().value);
    auto process = launcher.launch({FakeTranscoder}, "", false);
    const auto pid = static_cast<pid_t>(process->processId());
    EXPECT_EQ(launcher.fAppControl(*process), GetParam().end);
    EXPECT_TRUE(childRanToItsEnd());
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1) << "the child was not reaped";
}

INSTANTIATE_TEST_SUITE_P(
    Ends, ProcessEndTest,
    testing::Values(EndCase{"FAKE_EXIT", "0", ProcessEnd::exited(0)},
                    EndCase{"FAKE_EXIT", "3", ProcessEnd::exited(3)},
                    EndCase{"FAKE_EXIT", "255", ProcessEnd::exited(255)},
                    EndCase{"FAKE_SIGNAL", "15", ProcessEnd::signalled(SIGTERM)},
                    EndCase{"FAKE_SIGNAL", "9", ProcessEnd::signalled(SIGKILL)}));

// Gone, or ended and waiting to be reaped by whoever took it over.
bool hasEnded(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const auto state = line.rfind(") ");
    return state != std::string::npos && line.compare(state + 2, 1, "Z") == 0;
}

// A stopped program is asked to end; one that will not is killed after a grace time, counted
// from the first stop however often it is asked again. Either way the helper it started (with
// the same answer to SIGTERM) ends with it, and every stop owns the end.
class StopTest : public LauncherTest, public testing::WithParamInterface<bool>
{
};

TEST_P(StopTest, AStoppedProgramEndsAndOneThatIgnoresItIsKilled)
{
    setEnv("FAKE_SLEEP_MS", "60000");
    setEnv("FAKE_HELPER", path("helper"));
    if (GetParam())
        setEnv("FAKE_IGNORE_TERM", "1");
    auto process = launcher.launch({FakeTranscoder}, "", false);
    const auto group = static_cast<pid_t>(process->processId());
    guardAgainstHang(*process);
    std::chrono::steady_clock::time_point firstStop;
    QTimer again(&context); // the user asks again every second
    again.setInterval(1000);
    int stopsLeft = 4;
    QObject::connect(&again, &QTimer::timeout, [&] {
        EXPECT_TRUE(process->stop()) << "a repeated stop took the end for the program's own";
        if (--stopsLeft == 0)
            again.stop();
    });
    QTimer::singleShot(0, &context, [&] {
        // Once it has started (and set its signal up): it writes its arguments first.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return QFileInfo::exists(QString::fromStdString(path("arguments"))); }, 10'000));
        firstStop = std::chrono::steady_clock::now();
        EXPECT_TRUE(process->stop());
        again.start();
    });
    EXPECT_EQ(launcher.fAppControl(*process),
              ProcessEnd::signalled(GetParam() ? SIGKILL : SIGTERM));
    // The kill is due 5 s after the first stop; restarted by the last one it came after 9 s.
    EXPECT_LT(std::chrono::steady_clock::now() - firstStop, std::chrono::milliseconds(7500));
    EXPECT_FALSE(childRanToItsEnd());
    EXPECT_FALSE(hangGuardFired);
    EXPECT_TRUE(process->stop()) << "ended of the stop, yet told as its own end";
    // reaped: nothing is sent to a number that may be another's now
    pid_t helper = 0;
    std::ifstream(path("helper")) >> helper;
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return hasEnded(helper); }, 10'000)) << "helper left running";
    if (!hasEnded(helper) && ::getpgid(helper) == group)
        ::kill(helper, SIGKILL);
}

INSTANTIATE_TEST_SUITE_P(Stops, StopTest, testing::Bool());

// ---- what the program receives -------------------------------------------------------------

TEST_F(LauncherTest, ArgumentsArriveWholeWithoutAShell)
{
    const std::vector<std::string> arguments{FakeTranscoder,
                                             "-core(",
                                             "-input",
                                             "/tmp/Aufnahmen/take 1.pcm",
                                             "Zieldatei äöüß €.ac3",
                                             "",
                                             "  zwei  Blanks  ",
                                             "\"in Anführungszeichen\"",
                                             "*.ac3",
                                             "$HOME",
                                             "a;b|c && d",
                                             ")"};
    EXPECT_EQ(runToEnd(arguments), ProcessEnd::exited(0));
    EXPECT_EQ(recordedArguments(),
              std::vector<std::string>(arguments.begin() + 1, arguments.end()));
}

TEST_F(LauncherTest, ProgramRunsInASessionOfItsOwn)
{
    holdChild();
    auto process = launcher.launch({FakeTranscoder}, "", false);
    guardAgainstHang(*process);
    const auto pid = static_cast<pid_t>(process->processId());
    pid_t session = 0;
    QTimer::singleShot(0, &context, [&] {
        session = ::getsid(pid);
        release();
    });
    EXPECT_EQ(launcher.fAppControl(*process), ProcessEnd::exited(0));
    EXPECT_EQ(session, pid);
}

// ---- programs that cannot start ------------------------------------------------------------

TEST_F(LauncherTest, MissingProgramIsFileNotFoundNamingItAndLeavesNothingRunning)
{
    const std::string missing = path("gibt es nicht");
    try {
        launcher.launch({missing, "-core("}, "", true);
        FAIL() << "launched a missing program";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), ErrorNumber::FileNotFound);
        EXPECT_EQ(error.description(), "Datei nicht gefunden: " + missing);
    }
    EXPECT_TRUE(noChildLeft());
    EXPECT_EQ(view.starts, 0) << "the console opened for a launch that failed";
}

TEST_F(LauncherTest, ProgramThatCannotBeExecutedGivesTheSystemsReasonInGerman)
{
    const std::string plain = path("nicht ausführbar");
    touch(plain);
    ::chmod(plain.c_str(), 0644);
    const std::string folder = path("Ordner");
    std::filesystem::create_directory(folder);
    const std::string script = path("ohne Kopfzeile");
    std::ofstream(script) << "echo hallo\n";
    ::chmod(script.c_str(), 0755);

    const std::pair<std::string, std::string> cases[] = {
        {plain, "Keine Berechtigung"},
        {folder, "Keine Berechtigung"},
        {script, "Fehler im Format der Programmdatei"},
    };
    for (const auto& [program, reason] : cases) {
        try {
            launcher.launch({program}, "", false);
            ADD_FAILURE() << "launched " << program;
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), ErrorNumber::PathFileAccess);
            EXPECT_EQ(error.description(), reason + ": " + program);
        }
    }
    EXPECT_TRUE(noChildLeft());
}

// Descriptors the program holds without close-on-exec (here one at 251, as a starting shell
// may leave) stay with it.
TEST_F(LauncherTest, ProgramGetsOnlyStandardInputOutputAndError)
{
    const UniqueFd inheritable(::open("/dev/null", O_RDONLY));
    ASSERT_TRUE(inheritable);
    const UniqueFd high(::dup2(inheritable.get(), 251));
    ASSERT_EQ(high.get(), 251);
    setEnv("FAKE_FDS", path("descriptors"));
    EXPECT_EQ(runToEnd({FakeTranscoder}), ProcessEnd::exited(0));

    std::ifstream in(path("descriptors"));
    std::vector<int> open;
    for (int fd = 0; in >> fd;)
        open.push_back(fd);
    EXPECT_EQ(open, (std::vector<int>{0, 1, 2}));
}

// ---- Windows programs through wine ---------------------------------------------------------

class WineTest : public LauncherTest
{
protected:
    std::string exe;
    void SetUp() override
    {
        LauncherTest::SetUp();
        exe = path("Werkzeug/BeSweet.ExE");
        std::filesystem::create_directories(path("Werkzeug"));
        std::filesystem::create_directories(path("bin"));
        std::filesystem::create_directories(path("leer"));
        touch(exe);
        // A wine that records what it is given, with the test folder as its drive c:.
        std::filesystem::create_symlink(FakeTranscoder, path("bin/wine"));
        setEnv("PATH", path("leer") + ":" + path("bin"));
        std::filesystem::create_directories(path("prefix/dosdevices"));
        std::filesystem::create_directory_symlink(dir.path().toStdString(),
                                                  path("prefix/dosdevices/c:"));
        setEnv("WINEPREFIX", path("prefix"));
    }
};

TEST_F(WineTest, ExeRunsThroughWineFromPathWithWindowsPaths)
{
    const std::vector<std::string> arguments{
        exe,       "-core(",     "-input",   path("Quelle ä.wav"),
        "-output", "/weg/b.ac3", "-logfile", path("Ziel 1.ac3.log"),
        "/norm",   ")"};
    EXPECT_EQ(runToEnd(arguments), ProcessEnd::exited(0));
    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{"C:\\Werkzeug\\BeSweet.ExE", "-core(", "-input",
                                        "C:\\Quelle ä.wav", "-output", "\\\\?\\unix\\weg\\b.ac3",
                                        "-logfile", "C:\\Ziel 1.ac3.log", "/norm", ")"}));
}

TEST_F(WineTest, MissingWineSaysThatAWindowsProgramNeedsIt)
{
    setEnv("PATH", path("leer"));
    try {
        launcher.launch({exe}, "", false);
        FAIL() << "launched without wine";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.message(),
                  "Fehler: 53 - Zum Starten des Windows-Programms " + exe +
                      " wird wine benötigt, wine ist aber nicht installiert. Bitte wine "
                      "installieren oder unter „Optionen › Pfad zu Besweet.exe“ den "
                      "mitgelieferten Transcoder besweet wählen.");
    }
}

TEST_F(WineTest, MissingExeIsFileNotFoundNamingIt)
{
    const std::string missing = path("Werkzeug/fehlt.exe");
    try {
        launcher.launch({missing}, "", false);
        FAIL() << "launched a missing program";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), ErrorNumber::FileNotFound);
        EXPECT_EQ(error.description(), "Datei nicht gefunden: " + missing);
    }
    EXPECT_FALSE(exists(path("arguments"))) << "wine was started";
}

// A Windows program's narrow output is in the prefix's ANSI code page; the console and the
// failure detail get it as UTF-8.
struct CodePageCase {
    const char* registry; // the prefix's system.reg, or nothing
    const char* said;
    const char* shown;
};

void PrintTo(const CodePageCase& c, std::ostream* os)
{
    *os << (c.registry ? c.registry : "no registry");
}

class WineOutputTest : public WineTest, public testing::WithParamInterface<CodePageCase>
{
};

TEST_P(WineOutputTest, ArrivesAsUtf8)
{
    if (GetParam().registry)
        std::ofstream(path("prefix/system.reg")) << GetParam().registry;
    setEnv("FAKE_SAY", GetParam().said);
    auto process = launcher.launch({exe}, "", true);
    guardAgainstHang(*process);
    launcher.fAppControl(*process);
    const std::string expected = std::string(GetParam().shown) + "\n";
    EXPECT_EQ(process->lastOutput(), expected);
    EXPECT_EQ(view.bytes, expected);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, WineOutputTest,
    testing::Values(
        CodePageCase{nullptr,
                     "\xDC"
                     "bung: 5 \x80",
                     "Übung: 5 €"},
        CodePageCase{"WINE REGISTRY Version 2\n[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\"
                     "CodePage] 1700000000\n#time=1\n\"ACP\"=\"65001\"\n\"OEMCP\"=\"437\"\n",
                     "Übung", "Übung"},
        CodePageCase{"[Software\\\\Wine]\n\"ACP\"=\"65001\"\n", "\x84Zitat\x93", "„Zitat“"}));

// Windows cannot open a name with ? * | " < >, and reads \ and : in a name as parts of another
// path: refused before wine starts, naming the path.
TEST_F(WineTest, APathWindowsCannotOpenIsRefusedBeforeTheStart)
{
    for (const char* name :
         {"Was?.wav", "a*b.wav", "x|y.ac3", "\"z\".ac3", "<a>.log", "a\\b.ac3", "c:d.wav"}) {
        const std::string forbidden = path(name);
        try {
            launcher.launch({exe, "-input", path("ok.wav"), "-output", forbidden}, "", false);
            ADD_FAILURE() << "launched with " << name;
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), ErrorNumber::PathFileAccess);
            EXPECT_TRUE(error.description().starts_with("Der Pfad " + forbidden + " enthält"))
                << error.description();
        }
    }
    EXPECT_FALSE(exists(path("arguments"))) << "wine was started";
    EXPECT_EQ(runToEnd({exe, "-core(", "/norm?", "-input", path("ok.wav")}), ProcessEnd::exited(0));
}

// ---- the bundled transcoder speaks German ------------------------------------------------

struct LocaleCase {
    std::vector<std::string> user;
    std::vector<std::string> german; // what the bundled transcoder gets
};

void PrintTo(const LocaleCase& c, std::ostream* os)
{
    for (const auto& entry : c.user)
        *os << entry << ' ';
}

class GermanEnvironmentTest : public testing::TestWithParam<LocaleCase>
{
};

TEST_P(GermanEnvironmentTest, MessagesInGermanWithTheirUmlauts)
{
    EXPECT_EQ(GermanSpeakingEnvironment(GetParam().user), GetParam().german);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, GermanEnvironmentTest,
    testing::Values(
        LocaleCase{{"PATH=/bin", "LANG=C.UTF-8"}, {"PATH=/bin", "LANG=C.UTF-8", "LANGUAGE=de"}},
        LocaleCase{{"LANGUAGE=en:fr", "LANG=de_DE.UTF-8"}, {"LANG=de_DE.UTF-8", "LANGUAGE=de"}},
        LocaleCase{{"LANG=C"},
                   {"LANG=C", "LANGUAGE=de", "LC_MESSAGES=C.UTF-8", "LC_CTYPE=C.UTF-8"}},
        LocaleCase{{}, {"LANGUAGE=de", "LC_MESSAGES=C.UTF-8", "LC_CTYPE=C.UTF-8"}},
        LocaleCase{{"LC_MESSAGES=POSIX", "LANG=en_US.UTF-8"},
                   {"LANG=en_US.UTF-8", "LANGUAGE=de", "LC_MESSAGES=C.UTF-8"}},
        LocaleCase{{"LANG=de_DE.ISO-8859-1"},
                   {"LANG=de_DE.ISO-8859-1", "LANGUAGE=de", "LC_CTYPE=C.UTF-8"}},
        LocaleCase{{"LC_ALL=C", "LANG=de_DE.utf8"},
                   {"LANG=de_DE.utf8", "LANGUAGE=de", "LC_ALL=C.UTF-8"}},
        LocaleCase{{"LC_ALL=fr_FR.UTF-8"}, {"LC_ALL=fr_FR.UTF-8", "LANGUAGE=de"}}));

// The bundled besweet refuses a file that is no audio in German under LANG=C.UTF-8; the same
// program stored as the user's own speaks as the user's environment says.
TEST_F(LauncherTest, TheBundledTranscoderSpeaksGermanUnderAnyLocale)
{
    const std::string besweet = BESWEET;
    setEnv("LANG", "C.UTF-8");
    std::ofstream(path("kein.wav")) << std::string(1000, '\x5a');
    for (const bool bundled : {true, false}) {
        launcher.setBundledTranscoder(bundled ? std::optional(besweet) : std::nullopt);
        auto process = launcher.launch(
            {besweet, "-core(", "-input", path("kein.wav"), "-output", path("a.ac3"), ")"}, "",
            false);
        guardAgainstHang(*process);
        EXPECT_EQ(launcher.fAppControl(*process), ProcessEnd::exited(1));
        const std::string said = process->lastOutput().value_or("");
        EXPECT_EQ(said.find("lässt sich nicht als Audio lesen") != std::string::npos, bundled)
            << said;
    }
}

TEST(NeedsWineTest, ExeInAnyLetterCase)
{
    for (const char* name : {"BeSweet.exe", "/a/b/BESWEET.EXE", "x.ExE", ".exe"})
        EXPECT_TRUE(NeedsWine(name)) << name;
    for (const char* name : {"besweet", "exe", "x.exe.sh", "x.ex", "x.exe ", "x_exe"})
        EXPECT_FALSE(NeedsWine(name)) << name;
}

// ---- the wait keeps the window alive -------------------------------------------------------

TEST_F(LauncherTest, WindowStaysResponsiveDuringTheWait)
{
    holdChild();
    QCheckBox box("Log schreiben");
    box.show();
    QTimer ticker;
    int ticks = 0;
    bool queuedCallHandled = false;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 3) {
            QTest::mouseClick(&box, Qt::LeftButton);
            QMetaObject::invokeMethod(
                &context, [&] { queuedCallHandled = true; }, Qt::QueuedConnection);
        }
        if (ticks > 3 && box.isChecked() && queuedCallHandled)
            release();
    });
    ticker.start(10);

    EXPECT_EQ(runToEnd({FakeTranscoder}), ProcessEnd::exited(0))
        << "the child was never released: the wait did not handle the window's events";
    EXPECT_GE(ticks, 3);
    EXPECT_TRUE(box.isChecked());
    EXPECT_TRUE(queuedCallHandled);
}

// With nothing else going on, only the program's end can wake the wait.
TEST_F(LauncherTest, EndOfTheProgramAloneWakesTheWait)
{
    setEnv("FAKE_SLEEP_MS", "50");
    auto process = launcher.launch({FakeTranscoder}, "", false);
    guardAgainstHang(*process, 10);
    EXPECT_EQ(launcher.fAppControl(*process), ProcessEnd::exited(0));
    EXPECT_FALSE(hangGuardFired) << "the wait did not notice the end of the program";
}

// A modal dialog opened during the wait runs a loop of its own, nested in the wait. Once the
// program has ended, that loop must idle as it did while the program ran.
std::chrono::nanoseconds threadCpuTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

std::chrono::nanoseconds cpuTimeOfANestedLoop(std::chrono::milliseconds length)
{
    QEventLoop dialogLoop;
    QTimer::singleShot(length, &dialogLoop, &QEventLoop::quit);
    const auto start = threadCpuTime();
    dialogLoop.exec();
    return threadCpuTime() - start;
}

// True once the process has ended and waits to be reaped.
bool isZombie(long long pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

TEST_F(LauncherTest, ANestedLoopIdlesAfterTheProgramHasEnded)
{
    using namespace std::chrono_literals;
    holdChild();
    auto process = launcher.launch({FakeTranscoder}, "", false);
    guardAgainstHang(*process);
    std::chrono::nanoseconds whileRunning{};
    std::chrono::nanoseconds afterTheEnd{};
    bool ended = false;
    QTimer::singleShot(0, &context, [&] {
        whileRunning = cpuTimeOfANestedLoop(1s);
        release();
        for (int i = 0; i < 2000 && !ended; ++i) {
            std::this_thread::sleep_for(5ms);
            ended = isZombie(process->processId());
        }
        afterTheEnd = cpuTimeOfANestedLoop(1s);
    });
    EXPECT_EQ(launcher.fAppControl(*process), ProcessEnd::exited(0));
    ASSERT_TRUE(ended) << "the program did not end";
    EXPECT_LT(afterTheEnd, whileRunning + 100ms)
        << "CPU time in one second: " << whileRunning / 1ms << " ms while the program ran, "
        << afterTheEnd / 1ms << " ms after its end";
}

// ---- the program's output ------------------------------------------------------------------

class OutputTest : public LauncherTest, public testing::WithParamInterface<bool>
{
};

TEST_P(OutputTest, PlentyOfOutputNeverBlocksTheProgramAndItsLastWordsAreKept)
{
    const bool show = GetParam();
    constexpr long bytesPerStream = 3'000'000;
    setEnv("FAKE_OUTPUT_BYTES", std::to_string(bytesPerStream));
    setEnv("FAKE_SAY", "besweet: zuletzt gesagt");
    auto process = launcher.launch({FakeTranscoder}, "", show);
    guardAgainstHang(*process);
    EXPECT_EQ(launcher.fAppControl(*process), ProcessEnd::exited(0));
    EXPECT_FALSE(hangGuardFired) << "the program blocked on its output";

    const auto output = process->lastOutput();
    ASSERT_TRUE(output);
    EXPECT_LE(output->size(), OutputTail::Capacity);
    EXPECT_TRUE(output->starts_with("Fortschritt: 0123456789 "));
    EXPECT_TRUE(output->ends_with("besweet: zuletzt gesagt\n")) << *output;
    if (show) {
        EXPECT_EQ(view.starts, 1);
        EXPECT_EQ(view.finishes, 1);
        EXPECT_EQ(view.bytes.size(), static_cast<std::size_t>(2 * bytesPerStream) +
                                         std::string("besweet: zuletzt gesagt\n").size());
        EXPECT_EQ(view.bytes.rfind("Fortschritt: ", 0), 0u);
    } else {
        EXPECT_EQ(view.starts, 0);
        EXPECT_TRUE(view.bytes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(ShownOrNot, OutputTest, testing::Bool());

} // namespace
