// SPDX-License-Identifier: GPL-3.0-or-later
// The window's run drives a real Windows program through wine: a stand-in for the
// transcoder built with mingw-w64, in a wine prefix made for this test run alone (wineboot,
// no display). It runs from a folder inside the prefix's drive_c, as a user's Windows
// transcoder would.
#include "job/FileQuery.h"
#include "job/RunFakes.h"
#include "job/TranscodeRun.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/WineRun.h"
#include "ui/ConsoleWindow.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>

using namespace klangdorn;
using namespace klangdorn::test;
namespace fs = std::filesystem;

namespace
{

const std::string StandIn = TRANSCODER_STAND_IN;

std::string contentOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Runs a wine tool of the prefix to its end; its standard output, or nothing on a failure.
std::optional<std::string> runWineTool(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WINEDEBUG", "-all");
    environment.insert("LC_ALL", "C.UTF-8");
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    if (!process.waitForFinished(180'000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput().toStdString();
}

// One throwaway prefix for the whole test run: making one takes seconds.
class WinePrefix
{
public:
    WinePrefix()
    {
        prefix = dir.filePath("Präfix").toStdString();
        ::setenv("WINEPREFIX", prefix.c_str(), 1);
        QElapsedTimer clock;
        clock.start();
        created = runWineTool("wineboot", {"-i"}).has_value();
        std::cout << "wineboot -i took " << clock.elapsed() << " ms" << std::endl;
    }
    ~WinePrefix()
    {
        // Ends the wine server of this prefix alone, before its folder goes.
        runWineTool("wineserver", {"-k"});
    }
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    QTemporaryDir dir;
    std::string prefix;
    bool created = false;
};

std::unique_ptr<WinePrefix> thePrefix;

class WineRunTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { thePrefix = std::make_unique<WinePrefix>(); }
    static void TearDownTestSuite() { thePrefix.reset(); }

    Journal journal;
    JournalWindow window{journal};
    MemorySettings backend;
    SettingsStore settings{backend, [] { return std::string("Klangdorn_d"); }};
    FakeMessageBoxes messages;
    FakeFileDialog dialogBackend;
    CommonDialog dialog{dialogBackend};
    ConsoleWindow console;
    PosixProcessLauncher launcher{&console};
    LocalFileQuery files;
    TranscodeRun run{window, settings, messages, dialog, launcher, files};

    fs::path driveC;
    fs::path work;
    fs::path previousFolder = fs::current_path();

    void SetUp() override
    {
        ASSERT_TRUE(thePrefix->created) << "wineboot -i failed";
        driveC = fs::path(thePrefix->prefix) / "drive_c";
        work = driveC / "Arbeit Ü";
        fs::remove_all(work);
        fs::create_directories(work);
        fs::create_directories(driveC / "Programme Ä");
        fs::copy_file(StandIn, driveC / "Programme Ä" / "BeSweet.exe",
                      fs::copy_options::overwrite_existing);
        fs::current_path(work);
        std::ofstream(work / "Quelle ä 1.wav", std::ios::binary) << "RIFF-Quelle\n";

        settings.saveText(SettingKey::Besweet, (driveC / "Programme Ä" / "BeSweet.exe").string());
        window.controls.outputBitrate = 2;
        window.controls.outputChannelmode = 0;
        ::unsetenv("WINEDEBUG"); // the launcher keeps wine quiet by itself
        ::unsetenv("STANDIN_EXIT");
    }
    void TearDown() override { fs::current_path(previousFolder); }

    std::string recorded() const { return contentOf(work / "aufzeichnung.txt"); }
};

TEST_F(WineRunTest, ShownRunHandsTheProgramWindowsPathsAndWritesTheTarget)
{
    window.controls.inputFile = (work / "Quelle ä 1.wav").string();
    window.controls.outputFile = (work / "Ziel ö.ac3").string();
    window.controls.writeLog = true;
    window.controls.showBesweet = true;
    run.cmdTranscode_Click();

    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
    EXPECT_EQ(recorded(), "Befehlszeile: \"C:\\Programme Ä\\BeSweet.exe\" -core( -input "
                          "\"C:\\Arbeit Ü\\Quelle ä 1.wav\" -output \"C:\\Arbeit Ü\\Ziel ö.ac3\" "
                          "-logfile \"C:\\Arbeit Ü\\Ziel ö.ac3.log\" ) -ota( -norm 0.95 ) "
                          "-ac3enc( -b 256 )\n"
                          "argv[0]: C:\\Programme Ä\\BeSweet.exe\n"
                          "argv[1]: -core(\n"
                          "argv[2]: -input\n"
                          "argv[3]: C:\\Arbeit Ü\\Quelle ä 1.wav\n"
                          "argv[4]: -output\n"
                          "argv[5]: C:\\Arbeit Ü\\Ziel ö.ac3\n"
                          "argv[6]: -logfile\n"
                          "argv[7]: C:\\Arbeit Ü\\Ziel ö.ac3.log\n"
                          "argv[8]: )\n"
                          "argv[9]: -ota(\n"
                          "argv[10]: -norm\n"
                          "argv[11]: 0.95\n"
                          "argv[12]: )\n"
                          "argv[13]: -ac3enc(\n"
                          "argv[14]: -b\n"
                          "argv[15]: 256\n"
                          "argv[16]: )\n"
                          "Fenster: -1\n");
    EXPECT_EQ(contentOf(work / "Ziel ö.ac3"), "BeSweet-Ersatz\nRIFF-Quelle\n");
    // The program's own two lines and nothing of wine's.
    EXPECT_TRUE(console.isVisible());
    // Its narrow output is in the prefix's ANSI code page, and arrives whole.
    EXPECT_EQ(console.toPlainText().toStdString(),
              "BeSweet-Ersatz: 12 Bytes gelesen aus Quelle ä 1.wav\nfertig\n");
    EXPECT_TRUE(window.transcodeEnabled);
    EXPECT_FALSE(window.timerEnabled);
}

TEST_F(WineRunTest, RelativePathsFromTheWorkingFolderAndTheExitCodeReachTheRun)
{
    ::setenv("STANDIN_EXIT", "3", 1);
    window.controls.inputFile = "Quelle ä 1.wav";
    window.controls.outputFile = "Ziel ö.ac3";
    run.cmdTranscode_Click();

    EXPECT_NE(recorded().find("-input \"C:\\Arbeit Ü\\Quelle ä 1.wav\" -output "
                              "\"C:\\Arbeit Ü\\Ziel ö.ac3\" )"),
              std::string::npos)
        << recorded();
    EXPECT_EQ(contentOf(work / "Ziel ö.ac3"), "BeSweet-Ersatz\nRIFF-Quelle\n");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "BeSweet wurde mit Fehlercode 3 beendet.\r\nFür die ganze "
                                      "Ausgabe „BeSweet zeigen“ ankreuzen und erneut starten.");
    EXPECT_FALSE(console.isVisible());
    EXPECT_TRUE(window.transcodeEnabled);
}

// The drive mapping the launcher reads from the prefix gives what wine's own winepath gives.
TEST_F(WineRunTest, PathsMapAsWinepathMapsThem)
{
    fs::create_directories(work / "Unterordner");
    const fs::path outside = thePrefix->dir.filePath("außen Ordner").toStdString();
    fs::create_directories(outside);
    fs::create_directory_symlink(work, outside / "Verweis");
    const std::vector<std::string> paths{(work / "Quelle ä 1.wav").string(),
                                         (work / "neu" / "Ziel ö.ac3").string(),
                                         (work / "Unterordner" / ".." / "x.wav").string(),
                                         driveC.string(),
                                         (outside / "y z.wav").string(),
                                         (outside / "Verweis" / "v.wav").string(),
                                         "Unterordner/relativ ä.wav",
                                         "/"};
    QStringList arguments{"-w"};
    for (const auto& path : paths)
        arguments << QString::fromStdString(path);
    const auto winepath = runWineTool("winepath", arguments);
    ASSERT_TRUE(winepath);

    const auto drives = WineDriveMap::read(thePrefix->prefix);
    std::string ours;
    for (const auto& path : paths)
        ours += drives.windowsPath(path) + '\n';
    EXPECT_EQ(ours, *winepath);
}

} // namespace
