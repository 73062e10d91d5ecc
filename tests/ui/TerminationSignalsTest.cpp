// SPDX-License-Identifier: GPL-3.0-or-later
// Log-off, shutdown and Ctrl+C reach the window as a close: its closing step stores the level,
// also in the middle of a run, whose transcoder is stopped without a question.
#include "platform/TerminationSignals.h"

#include "WindowFixture.h"
#include "job/RunFakes.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <csignal>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

class TerminationSignalTest : public WindowFixture, public testing::WithParamInterface<int>
{
protected:
    Journal journal;
    JournalLauncher fakeLauncher{journal};

    void SetUp() override
    {
        launcher = &fakeLauncher;
        store(SettingKey::Besweet, "/opt/besweet/besweet");
        start();
        window->show();
        control<QSlider>("sldNormalize")->setValue(60);
    }

    // The window closes as the signal's reaction, not inside the handler.
    bool signalClosesTheWindow()
    {
        EXPECT_EQ(std::raise(GetParam()), 0);
        return QTest::qWaitFor([&] { return !window->isVisible(); }, 5000);
    }
};

TEST_P(TerminationSignalTest, TheSignalClosesTheWindowAndStoresTheLevel)
{
    TerminationSignals closeOnSignal([this] { window->close(); });
    EXPECT_TRUE(signalClosesTheWindow());
    EXPECT_EQ(stored(SettingKey::Normalize), "60");
}

TEST_P(TerminationSignalTest, DuringARunTheTranscoderIsStoppedWithoutAsking)
{
    TerminationSignals closeOnSignal([this] { window->closeWithoutAsking(); });
    control<QLineEdit>("txtInputFile")->setText("/tmp/Aufnahmen/take 1.wav");
    control<QLineEdit>("txtOutputFile")->setText("/tmp/klangdorn-no-such-dir/take1.ac3");
    bool closedDuringTheRun = false;
    std::optional<std::string> storedDuringTheRun;
    fakeLauncher.duringWait = [&] {
        closedDuringTheRun = signalClosesTheWindow();
        storedDuringTheRun = stored(SettingKey::Normalize);
    };
    QTest::mouseClick(control<QPushButton>("cmdTranscode"), Qt::LeftButton);

    EXPECT_TRUE(closedDuringTheRun);
    EXPECT_EQ(storedDuringTheRun, "60");
    EXPECT_EQ(journal, (Journal{"launch", "wait", "stop"}));
    EXPECT_TRUE(messages.shown.empty()) << "asked, or told of a failure";
    EXPECT_TRUE(control<QPushButton>("cmdTranscode")->isEnabled())
        << "the run did not go on to its end";
    EXPECT_TRUE(QGuiApplication::quitOnLastWindowClosed()) << "left changed after the run";
}

// Whoever sends a second one means it: the program ends at once, its window or not.
TEST_P(TerminationSignalTest, ASecondSignalEndsTheProgramAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TerminationSignals ignoredOnce([] {});
            std::raise(GetParam());
            std::raise(GetParam());
            std::exit(0);
        },
        testing::KilledBySignal(GetParam()), "");
}

TEST_P(TerminationSignalTest, WithoutTheCatcherTheEarlierHandlerIsBack)
{
    const auto previous = std::signal(GetParam(), SIG_IGN);
    {
        TerminationSignals closeOnSignal([this] { window->close(); });
    }
    EXPECT_EQ(std::signal(GetParam(), previous), SIG_IGN);
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignalTest, testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const auto& info) {
                             switch (info.param) {
                             case SIGTERM:
                                 return std::string("SIGTERM");
                             case SIGHUP:
                                 return std::string("SIGHUP");
                             default:
                                 return std::string("SIGINT");
                             }
                         });

} // namespace
