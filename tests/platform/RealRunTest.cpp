// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessTestSupport.h"
#include "job/FileQuery.h"
#include "job/RunFakes.h"
#include "job/TranscodeRun.h"
#include "platform/PosixProcessLauncher.h"
#include "ui/ConsoleWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

const std::string FakeTranscoder = FAKE_TRANSCODER;
const std::string Besweet = BESWEET;

// A window with the controls the run switches.
class RunWindow : public QWidget, public TranscodeWindow
{
public:
    QPushButton cmdTranscode{"Transcode", this};
    QTimer tmrProgress;
    ControlValues controls;
    int waitBarClears = 0;

    ControlValues readControls() const override { return controls; }
    void setTranscodeEnabled(bool enabled) override { cmdTranscode.setEnabled(enabled); }
    void setProgressTimerEnabled(bool enabled) override
    {
        if (enabled)
            tmrProgress.start(100);
        else
            tmrProgress.stop();
    }
    void clearWaitBar() override { ++waitBarClears; }
};

class RealRunTest : public ProcessTest
{
protected:
    MemorySettings backend;
    SettingsStore settings{backend, [] { return std::string("Klangdorn_d"); }};
    FakeMessageBoxes messages;
    FakeFileDialog dialogBackend;
    CommonDialog dialog{dialogBackend};
    ConsoleWindow console;
    PosixProcessLauncher launcher{&console};
    LocalFileQuery files;
    RunWindow window;
    TranscodeRun run{window, settings, messages, dialog, launcher, files};

    void SetUp() override
    {
        ProcessTest::SetUp();
        settings.saveText(SettingKey::Besweet, FakeTranscoder);
        window.controls.inputFile = path("Quelle 1.wav");
        window.controls.outputFile = path("Ziel ä.ac3");
        window.controls.outputBitrate = 2;
        window.controls.outputChannelmode = 0;
        touch(window.controls.inputFile);
    }

    // Clicks with the child held until the run's state during the wait has been seen.
    void clickAndWatchTheWait()
    {
        holdChild();
        QTimer::singleShot(0, &context, [this] {
            buttonEnabledDuringWait = window.cmdTranscode.isEnabled();
            timerActiveDuringWait = window.tmrProgress.isActive();
            release();
        });
        run.cmdTranscode_Click();
    }
    bool buttonEnabledDuringWait = true;
    bool timerActiveDuringWait = false;
};

struct RealOutcome {
    std::map<std::string, std::string> environment;
    std::string firstLine; // empty: no message
};

void PrintTo(const RealOutcome& c, std::ostream* os)
{
    for (const auto& [name, value] : c.environment)
        *os << name << '=' << value << ' ';
}

class RealOutcomeTest : public RealRunTest, public testing::WithParamInterface<RealOutcome>
{
};

TEST_P(RealOutcomeTest, RunWaitsForTheTranscoderAndReportsOnlyAFailure)
{
    for (const auto& [name, value] : GetParam().environment)
        setEnv(name, value);
    clickAndWatchTheWait();

    EXPECT_FALSE(buttonEnabledDuringWait);
    EXPECT_TRUE(timerActiveDuringWait);
    EXPECT_TRUE(childRanToItsEnd());
    EXPECT_TRUE(window.cmdTranscode.isEnabled());
    EXPECT_FALSE(window.tmrProgress.isActive());
    EXPECT_EQ(window.waitBarClears, 1);

    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{"-core(", "-input", path("Quelle 1.wav"), "-output",
                                        path("Ziel ä.ac3"), ")", "-ota(", "-norm", "0.95", ")",
                                        "-ac3enc(", "-b", "256", ")"}));

    if (GetParam().firstLine.empty()) {
        EXPECT_TRUE(messages.shown.empty());
    } else {
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text,
                  GetParam().firstLine +
                      "\r\nFür die ganze Ausgabe „BeSweet zeigen“ ankreuzen und erneut starten.");
        EXPECT_EQ(messages.shown[0].caption, "Transcode fehlgeschlagen");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, RealOutcomeTest,
    testing::Values(RealOutcome{{{"FAKE_WRITE_TARGET", "1"}}, ""},
                    RealOutcome{{{"FAKE_WRITE_TARGET", "1"}, {"FAKE_EXIT", "4"}},
                                "BeSweet wurde mit Fehlercode 4 beendet."},
                    RealOutcome{{}, "Die Zieldatei wurde nicht erstellt."},
                    RealOutcome{{{"FAKE_SIGNAL", "15"}}, "BeSweet wurde abgebrochen."}));

// The question about overwriting comes for exactly the path given, whatever its attributes.
struct TargetCase {
    std::string target;
    std::string createFile;   // made before the click
    std::string createFolder; // made before the click
    bool asked;
};

void PrintTo(const TargetCase& c, std::ostream* os)
{
    *os << c.target;
}

class TargetQuestionTest : public RealRunTest, public testing::WithParamInterface<TargetCase>
{
};

TEST_P(TargetQuestionTest, AskedForAnExistingFileOnly)
{
    if (!GetParam().createFile.empty())
        touch(path(GetParam().createFile));
    if (!GetParam().createFolder.empty())
        std::filesystem::create_directory(path(GetParam().createFolder));
    window.controls.outputFile = path(GetParam().target);
    messages.answers = {MessageAnswer::No};
    run.cmdTranscode_Click();

    if (GetParam().asked) {
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].caption, "Zieldatei existiert bereits");
        EXPECT_FALSE(exists(path("arguments"))) << "launched after No";
    } else {
        EXPECT_TRUE(exists(path("arguments")));
        for (const auto& message : messages.shown)
            EXPECT_NE(message.caption, "Zieldatei existiert bereits");
    }
    EXPECT_TRUE(window.cmdTranscode.isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Targets, TargetQuestionTest,
                         testing::Values(TargetCase{"ziel.ac3", "ziel.ac3", "", true},
                                         TargetCase{".versteckt.ac3", ".versteckt.ac3", "", true},
                                         TargetCase{"*.ac3", "a.ac3", "", false},
                                         TargetCase{"ordner.ac3", "", "ordner.ac3", false},
                                         TargetCase{"neu.ac3", "", "", false}));

TEST_F(RealRunTest, SourceAsTargetIsRefusedWithoutLaunchingAlsoBeforeItExists)
{
    for (const bool sourceExists : {true, false}) {
        messages.shown.clear();
        if (!sourceExists)
            std::filesystem::remove(window.controls.inputFile);
        window.controls.outputFile = dir.path().toStdString() + "/./Quelle 1.wav";
        run.cmdTranscode_Click();

        ASSERT_EQ(messages.shown.size(), 1u) << sourceExists;
        EXPECT_EQ(messages.shown[0].caption, "Zieldatei ungültig");
        EXPECT_FALSE(exists(path("arguments")));
    }
}

// What the failure message adds below its two lines, from the bundled transcoder itself
// and from one that says nothing.
struct SaidCase {
    const char* name;
    bool bundledTranscoder;
    bool sourceMissing;
    std::string outputType;
    int channelmode;
    int bitrate;
    std::string firstLine;
    std::string detailStart; // "<source>" stands for the source's path
    bool germanDesktop = false;
    bool sourceNotAudio = false;
};

void PrintTo(const SaidCase& c, std::ostream* os)
{
    *os << c.name;
}

class FailureDetailTest : public RealRunTest, public testing::WithParamInterface<SaidCase>
{
};

TEST_P(FailureDetailTest, FailureMessageSaysWhatTheTranscoderLastSaid)
{
    const SaidCase& said = GetParam();
    // The transcoder runs in the user's language, passed on with the environment.
    setEnv("LC_ALL", said.germanDesktop ? "C.UTF-8" : "C");
    setEnv("LANGUAGE", said.germanDesktop ? "de" : "");
    if (said.bundledTranscoder)
        settings.saveText(SettingKey::Besweet, Besweet);
    else
        setEnv("FAKE_EXIT", "3");
    if (said.sourceMissing)
        std::filesystem::remove(window.controls.inputFile);
    if (said.sourceNotAudio)
        std::ofstream(window.controls.inputFile, std::ios::trunc) << "kein Audio\n";
    settings.saveText(SettingKey::OutputType, said.outputType);
    window.controls.outputFile = path("Ziel." + said.outputType);
    window.controls.outputChannelmode = said.channelmode;
    window.controls.outputBitrate = said.bitrate;
    run.cmdTranscode_Click();

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              said.firstLine +
                  "\r\nFür die ganze Ausgabe „BeSweet zeigen“ ankreuzen und erneut starten.");
    std::string expected = said.detailStart;
    if (const auto at = expected.find("<source>"); at != std::string::npos)
        expected.replace(at, 8, window.controls.inputFile);
    EXPECT_TRUE(messages.shown[0].detail.starts_with(expected)) << messages.shown[0].detail;
    EXPECT_EQ(messages.shown[0].detail.find('\n'), std::string::npos) << "more than the one line";
}

INSTANTIATE_TEST_SUITE_P(
    Said, FailureDetailTest,
    testing::Values(SaidCase{"MissingSource", true, true, "ac3", 0, 0,
                             "BeSweet wurde mit Fehlercode 1 beendet.", "besweet: <source>: "},
                    SaidCase{"NotAudioRefused", true, false, "ac3", 0, 0,
                             "BeSweet wurde mit Fehlercode 1 beendet.",
                             "besweet: <source>: cannot read as audio", false, true},
                    SaidCase{"NotAudioRefusedOnAGermanDesktop", true, false, "ac3", 0, 0,
                             "BeSweet wurde mit Fehlercode 1 beendet.",
                             "besweet: <source>: lässt sich nicht als Audio lesen", true, true},
                    SaidCase{"NothingSaid", false, false, "ac3", 0, 0,
                             "BeSweet wurde mit Fehlercode 3 beendet.",
                             "BeSweet hat nichts ausgegeben."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RealRunTest, MissingTranscoderIsReportedAndTheButtonEnabledAgain)
{
    const std::string missing = path("BeSweet fehlt");
    settings.saveText(SettingKey::Besweet, missing);
    run.cmdTranscode_Click();

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], (Message{"Fehler: 53 - Datei nicht gefunden: " + missing,
                                          MessageButtons::Ok, MessageIcon::None, "Klangdorn_d"}));
    EXPECT_TRUE(window.cmdTranscode.isEnabled());
    EXPECT_FALSE(window.tmrProgress.isActive());
}

TEST_F(RealRunTest, ShownOutputGoesToTheConsoleWindow)
{
    setEnv("FAKE_WRITE_TARGET", "1");
    setEnv("FAKE_OUTPUT_BYTES", "1000");
    window.controls.showBesweet = true;
    clickAndWatchTheWait();

    EXPECT_TRUE(console.isVisible());
    EXPECT_FALSE(console.isMinimized());
    EXPECT_TRUE(console.isReadOnly());
    EXPECT_EQ(console.windowTitle(), "BeSweet");
    EXPECT_TRUE(console.toPlainText().contains("Fortschritt: 0123456789"));
}

TEST_F(RealRunTest, HiddenOutputOpensNoConsole)
{
    setEnv("FAKE_WRITE_TARGET", "1");
    setEnv("FAKE_OUTPUT_BYTES", "1000");
    clickAndWatchTheWait();

    EXPECT_TRUE(childRanToItsEnd());
    EXPECT_FALSE(console.isVisible());
    EXPECT_TRUE(console.toPlainText().isEmpty());
}

// Closing the last window asks the application to quit; the run still waits for the
// transcoder, which is released only after that, and the application ends after the run.
TEST_F(RealRunTest, ClosingTheWindowMidRunLetsTheTranscoderRunToItsEnd)
{
    setEnv("FAKE_WRITE_TARGET", "1");
    holdChild();
    bool lastWindowClosed = false;
    bool clickReturned = false;
    bool childEndedBeforeTheClickReturned = false;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &context, [&] {
        lastWindowClosed = true;
        QTimer::singleShot(20, &context, [this] { release(); });
    });
    QTimer::singleShot(0, &context, [&] {
        QTimer::singleShot(0, &context, [&] { window.close(); });
        run.cmdTranscode_Click();
        childEndedBeforeTheClickReturned = childRanToItsEnd();
        clickReturned = true;
    });
    QTimer::singleShot(30'000, &context, [this] {
        release();
        QCoreApplication::exit(7);
    });

    window.show();
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(lastWindowClosed);
    EXPECT_TRUE(clickReturned) << "the application ended inside the run";
    EXPECT_TRUE(childEndedBeforeTheClickReturned) << "the wait ended before the transcoder";
    EXPECT_TRUE(files.existsAsFile(window.controls.outputFile));
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace
