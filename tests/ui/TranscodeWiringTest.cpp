// SPDX-License-Identifier: GPL-3.0-or-later
// The "Transcode" button and the wait indicator as wired into the window: the run reads the
// window's controls, switches its button and timer, and the timer's ticks move the square.
#include "WindowFixture.h"
#include "job/RunFakes.h"
#include "ui/ConsoleWindow.h"
#include "ui/WaitBarBox.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

class TranscodeWiring : public WindowFixture
{
protected:
    Journal journal;
    JournalLauncher fakeLauncher{journal};

    void SetUp() override
    {
        launcher = &fakeLauncher;
        store(SettingKey::Besweet, "/opt/besweet/besweet");
        start();
        control<QLineEdit>("txtInputFile")->setText("/tmp/Aufnahmen/take 1.wav");
        control<QLineEdit>("txtOutputFile")->setText("/tmp/klangdorn-no-such-dir/take1.mpa");
    }

    void showActive()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    ConsoleWindow* console() { return &window->console(); }
};

} // namespace

TEST_F(TranscodeWiring, RunsTheLineOfTheWindowsControlsAndRestoresTheWindowAfterwards)
{
    store(SettingKey::OutputType, "mpa");
    control<QComboBox>("cmbOutputBitrate")->setCurrentIndex(1);
    control<QComboBox>("cmbOutputChannelmode")->setCurrentIndex(3);

    bool buttonEnabledDuringWait = true;
    bool timerActiveDuringWait = false;
    int positionBefore = 0;
    int positionAfterTicks = 0;
    fakeLauncher.duringWait = [&] {
        buttonEnabledDuringWait = control<QPushButton>("cmdTranscode")->isEnabled();
        timerActiveDuringWait = control<QTimer>("tmrProgress")->isActive();
        positionBefore = window->waitIndicator().position();
        // The wait keeps the window's events going: the timer ticks.
        const bool ticked = QTest::qWaitFor(
            [&] { return window->waitIndicator().position() >= positionBefore + 2; }, 10000);
        EXPECT_TRUE(ticked);
        positionAfterTicks = window->waitIndicator().position();
    };
    QTest::mouseClick(control<QPushButton>("cmdTranscode"), Qt::LeftButton);

    const std::vector<std::string> expected{"/opt/besweet/besweet",
                                            "-core(",
                                            "-input",
                                            "/tmp/Aufnahmen/take 1.wav",
                                            "-output",
                                            "/tmp/klangdorn-no-such-dir/take1.mpa",
                                            ")",
                                            "-ota(",
                                            "-norm",
                                            "0.95",
                                            ")",
                                            "-ssrc(",
                                            "--rate",
                                            "48000",
                                            ")",
                                            "-toolame(",
                                            "-m",
                                            "m",
                                            "-b",
                                            "224",
                                            ")"};
    EXPECT_EQ(fakeLauncher.arguments, expected);
    EXPECT_EQ(fakeLauncher.showWindow, false);
    EXPECT_FALSE(buttonEnabledDuringWait);
    EXPECT_TRUE(timerActiveDuringWait);
    EXPECT_GE(positionAfterTicks, positionBefore + 2) << "the square moves once per tick";
    EXPECT_TRUE(control<QPushButton>("cmdTranscode")->isEnabled());
    EXPECT_FALSE(control<QTimer>("tmrProgress")->isActive());
    // The target never appeared: the run says so instead of ending silently.
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, "Transcode fehlgeschlagen");
}

TEST_F(TranscodeWiring, TypedComboTextStopsTheRunWithError9BeforeAnyLaunch)
{
    auto* bitrate = control<QComboBox>("cmbOutputBitrate");
    bitrate->setFocus();
    bitrate->lineEdit()->selectAll();
    QTest::keyClicks(bitrate->lineEdit(), "300 kbps");
    QTest::mouseClick(control<QPushButton>("cmdTranscode"), Qt::LeftButton);

    EXPECT_TRUE(fakeLauncher.arguments.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Fehler: 9 - Index außerhalb des gültigen Bereichs");
    EXPECT_EQ(messages.shown[0].caption, "Klangdorn_d");
    EXPECT_TRUE(control<QPushButton>("cmdTranscode")->isEnabled());
}

// Closing during a run asks; "Ja" stops the transcoder, the run ends without a box and the
// program ends after it, the level stored.
TEST_F(TranscodeWiring, ClosingMidRunAsksAndYesStopsTheRunAndEndsTheProgram)
{
    window->show();
    control<QSlider>("sldNormalize")->setValue(70);
    fakeLauncher.end = ProcessEnd::exited(3);
    fakeLauncher.duringWait = [&] {
        window->close();
        QCoreApplication::processEvents(); // the wait handles the window's events
    };
    QTimer::singleShot(0, window.get(), [&] {
        QTest::mouseClick(control<QPushButton>("cmdTranscode"), Qt::LeftButton);
    });
    QTimer::singleShot(20'000, window.get(), [] { QCoreApplication::exit(7); });

    EXPECT_EQ(QApplication::exec(), 0) << "the program ends after the run";
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(messages.shown.size(), 1u) << "a stopped run shows no failure";
    EXPECT_EQ(messages.shown[0],
              (Message{"BeSweet transcodiert noch. Soll der Transcode abgebrochen\r\n"
                       "und Klangdorn beendet werden?",
                       MessageButtons::YesNo, MessageIcon::Exclamation, ApplicationTitle}));
    EXPECT_EQ(journal, (Journal{"launch", "wait", "stop"}));
    EXPECT_EQ(stored(SettingKey::Normalize), "70");
}

TEST_F(TranscodeWiring, NoToTheCloseQuestionLeavesTheRunAndTheWindowAsTheyWere)
{
    window->show();
    messages.answers = {MessageAnswer::No};
    bool visibleAfterClose = false;
    fakeLauncher.duringWait = [&] {
        window->close();
        visibleAfterClose = window->isVisible();
    };
    QTest::mouseClick(control<QPushButton>("cmdTranscode"), Qt::LeftButton);

    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(journal, (Journal{"launch", "wait"}));
    EXPECT_EQ(stored(SettingKey::Normalize), std::nullopt);
    const auto shownBefore = messages.shown.size();
    window->close(); // no run: no question
    EXPECT_EQ(messages.shown.size(), shownBefore);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(TranscodeWiring, TheFocusComesBackToTranscodeUnlessTheUserMovedIt)
{
    showActive();
    auto* transcode = control<QPushButton>("cmdTranscode");
    transcode->setFocus();
    QWidget* focusDuringWait = nullptr;
    fakeLauncher.duringWait = [&] { focusDuringWait = QApplication::focusWidget(); };
    QTest::keyClick(transcode, Qt::Key_Space);
    EXPECT_NE(focusDuringWait, transcode) << "a disabled button holds no focus";
    EXPECT_EQ(QApplication::focusWidget(), transcode);

    auto* source = control<QLineEdit>("txtInputFile");
    fakeLauncher.duringWait = [&] { source->setFocus(); };
    QTest::keyClick(transcode, Qt::Key_Space);
    EXPECT_EQ(QApplication::focusWidget(), source);
}

TEST_F(TranscodeWiring, TheConsoleShowsOnlyTheCurrentRunAndHowItEnded)
{
    console()->appendOutput("Ausgabe eines alten Laufs\n");
    fakeLauncher.end = ProcessEnd::exited(2);
    fakeLauncher.duringWait = [&] {
        console()->appendOutput("besweet: -m m mit -b 224 geht nicht");
    };
    control<QPushButton>("cmdTranscode")->click();
    EXPECT_EQ(console()->toPlainText(),
              "besweet: -m m mit -b 224 geht nicht\nBeSweet beendet mit Exit-Code 2.\n");

    fakeLauncher.end = ProcessEnd::signalled(9);
    fakeLauncher.duringWait = nullptr;
    control<QPushButton>("cmdTranscode")->click();
    EXPECT_EQ(console()->toPlainText(), "BeSweet durch Signal beendet: Getötet (SIGKILL).\n");
}

TEST_F(TranscodeWiring, TheConsoleStaysOnTopWhenTheWindowDoes)
{
    console()->startOutput();
    EXPECT_TRUE(console()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    control<QAction>("mnuSetToTop")->trigger();
    EXPECT_FALSE(console()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(console()->isVisible()) << "changing the stacking keeps it shown";
    control<QAction>("mnuSetToTop")->trigger();
    EXPECT_TRUE(console()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}
