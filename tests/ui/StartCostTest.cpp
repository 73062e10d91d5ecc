// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's start leaves for later or hands to another thread, and that nothing of it
// is lost on the way.
#include "WindowFixture.h"
#include "platform/Appearance.h"
#include "platform/FontSystemWarmUp.h"
#include "ui/ConsoleWindow.h"

#include <QApplication>
#include <QTest>
#include <atomic>
#include <thread>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

// The font system's thread runs the one step it is handed, after its own start, on itself;
// a second step is not taken, and without one the thread just ends. finish() waits for it.
TEST(FontSystemWarmUpTest, RunsTheFirstStepHandedToItOnItsOwnThread)
{
    struct Case {
        int stepsHanded;
        int runs;
    };
    for (const Case c : {Case{0, 0}, Case{1, 1}, Case{2, 1}}) {
        std::atomic<int> runs = 0;
        std::atomic<bool> onAnotherThread = true;
        const auto caller = std::this_thread::get_id();
        {
            FontSystemWarmUp fontSystem;
            for (int i = 0; i < c.stepsHanded; ++i)
                fontSystem.thenRun([&] {
                    ++runs;
                    onAnotherThread = onAnotherThread && std::this_thread::get_id() != caller;
                });
            fontSystem.finish();
            EXPECT_EQ(runs, c.runs) << c.stepsHanded << " steps handed";
        }
        EXPECT_EQ(runs, c.runs) << c.stepsHanded << " steps handed";
        EXPECT_TRUE(onAnotherThread);
    }
}

// The step before the first font runs once, whichever font comes first.
TEST(BeforeFirstFontTest, RunsOnceBeforeTheFirstFontWhicheverItIs)
{
    const std::array<QFont (*)(), 3> fonts{windowFont, frameTitleFont, waitBarFont};
    for (std::size_t first = 0; first < fonts.size(); ++first) {
        int runs = 0;
        BeforeFirstFont([&] { ++runs; });
        for (std::size_t i = 0; i < 2 * fonts.size(); ++i)
            fonts[(first + i) % fonts.size()]();
        EXPECT_EQ(runs, 1) << "first font " << first;
    }
}

// While the window's controls are built the application's font is the window's, so a control
// made meanwhile has it from the start; the one before comes back after.
TEST(ApplicationFontWhileTest, IsTheGivenFontMeanwhileAndTheOneBeforeAfter)
{
    const QFont before = QApplication::font();
    for (const QFont& font : {windowFont(), frameTitleFont(), QFont("Monospace", 20)}) {
        {
            const ApplicationFontWhile building(font);
            EXPECT_EQ(QApplication::font(), font);
            EXPECT_EQ(QWidget().font(), font);
        }
        EXPECT_EQ(QApplication::font(), before);
        EXPECT_EQ(QWidget().font(), before);
    }
}

// The console is made once the window has been painted, not before, and takes the stacking
// the window was given while it did not exist.
class DeferredConsoleStart : public WindowFixture, public testing::WithParamInterface<const char*>
{
};

TEST_P(DeferredConsoleStart, IsMadeAfterTheFirstPaintWithTheWindowsStacking)
{
    store(SettingKey::AlwaysOnTop, GetParam());
    start();
    EXPECT_EQ(window->findChild<ConsoleWindow*>(), nullptr) << "made before the first paint";
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->findChild<ConsoleWindow*>() != nullptr; }));
    auto* console = window->findChild<ConsoleWindow*>();
    EXPECT_EQ(console, &window->console());
    EXPECT_FALSE(console->isVisible());
    console->startOutput();
    EXPECT_EQ(console->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
              std::string(GetParam()) == "True");
}

INSTANTIATE_TEST_SUITE_P(OnTopOrNot, DeferredConsoleStart, testing::Values("True", "False"));

} // namespace
