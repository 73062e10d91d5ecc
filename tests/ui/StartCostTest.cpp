// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's start leaves for later or hands to another thread, and that nothing of it
// is lost on the way.
#include "WindowFixture.h"
#include "platform/Appearance.h"
#include "platform/FontSystemWarmUp.h"
#include "platform/ProgramStyle.h"
#include "ui/ConsoleWindow.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTest>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#if KLANGDORN_HAS_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

// The font system's thread runs the one step it is handed, after its own start, on itself;
// a second step is not taken, and without one the thread just ends. awaitStart() waits for the
// start only, finish() for the step too.
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
            // The start alone is waited for: the step may be handed later.
            auto started = std::async(std::launch::async, [&] { fontSystem.awaitStart(); });
            EXPECT_EQ(started.wait_for(std::chrono::seconds(10)), std::future_status::ready);
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

// The family is chosen without Qt's font database, which another thread fills meanwhile: the
// answer for each name is the one Qt's database gives, installed or not, aliases and case
// included, and a name the configuration's rules turn into an installed family counts as it.
TEST(InstalledFamilyTest, IsWhatQtsFontDatabaseSays)
{
    std::vector<const char*> names{"MS Sans Serif",
                                   "Microsoft Sans Serif",
                                   "Liberation Sans",
                                   "Arial",
                                   "Arimo",
                                   "liberation sans",
                                   "DejaVu Sans",
                                   "No Such Family Anywhere",
                                   "Sans",
                                   "Monospace",
                                   "DejaVu Sans Condensed",
                                   "Helvetica",
                                   "Courier",
                                   "mono"};
#if KLANGDORN_HAS_FONTCONFIG
    // A rule of the test's own: the name is replaced by the first family Qt has (which Qt
    // may list with its foundry, "C059 [UKWN]").
    const QByteArray installed =
        QFontDatabase::families().value(0).section(QStringLiteral(" ["), 0, 0).toUtf8();
    const QByteArray rule = "<?xml version=\"1.0\"?><fontconfig><match target=\"pattern\">"
                            "<test name=\"family\"><string>Klangdorn Test Alias</string></test>"
                            "<edit name=\"family\" mode=\"assign\" binding=\"same\"><string>" +
                            installed + "</string></edit></match></fontconfig>";
    ASSERT_FALSE(installed.isEmpty());
    ASSERT_TRUE(FcConfigParseAndLoadFromMemory(
        FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(rule.constData()), FcTrue));
    names.push_back("Klangdorn Test Alias");
    EXPECT_TRUE(isInstalledFamily("Klangdorn Test Alias"));
#endif
    for (const char* name : names)
        EXPECT_EQ(isInstalledFamily(name), QFontDatabase::hasFamily(QString::fromLatin1(name)))
            << name;
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

// A deferred icon is made the first time it is drawn or measured, once for all its copies;
// asking whether it is empty does not make it.
TEST(DeferredIconEngineTest, IsMadeOnceWhenFirstDrawnOrMeasured)
{
    struct Case {
        const char* asked;
        std::function<void(const QIcon&)> ask;
        int makes;
    };
    const std::vector<Case> cases{
        {"whether it is empty", [](const QIcon& icon) { EXPECT_FALSE(icon.isNull()); }, 0},
        {"a copy's picture twice",
         [](const QIcon& icon) {
             const QIcon copy = icon;
             copy.pixmap(16);
             copy.pixmap(32);
         },
         1},
        {"its size", [](const QIcon& icon) { icon.actualSize(QSize(16, 16)); }, 1},
    };
    for (const Case& c : cases) {
        int makes = 0;
        const QIcon icon(new DeferredIconEngine([&makes] {
            ++makes;
            QPixmap picture(16, 16);
            picture.fill(Qt::red);
            return QIcon(picture);
        }));
        c.ask(icon);
        EXPECT_EQ(makes, c.makes) << c.asked;
    }
}

// The program's style draws the menu bar's overflow arrows as Fusion does, either way round.
TEST(ProgramStyleTest, DrawsTheOverflowArrowsAsFusionDoes)
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
    ProgramStyle program;
    for (const auto which :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton,
          QStyle::SP_DialogOkButton}) {
        for (const auto direction : {Qt::LeftToRight, Qt::RightToLeft}) {
            QStyleOption option;
            option.direction = direction;
            const QImage expected = fusion->standardIcon(which, &option).pixmap(16).toImage();
            ASSERT_FALSE(expected.isNull()) << which;
            EXPECT_EQ(program.standardIcon(which, &option, nullptr).pixmap(16).toImage(), expected)
                << which << " " << direction;
        }
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
