// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ConsoleWindow.h"

#include <QCoreApplication>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QWidget>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace klangdorn;

namespace
{

struct ConsoleCase {
    std::vector<std::string> chunks;
    QString shown;
};

void PrintTo(const ConsoleCase& c, std::ostream* os)
{
    *os << c.chunks.size() << " chunks, " << c.shown.size() << " characters shown";
}

class ConsoleTextTest : public testing::TestWithParam<ConsoleCase>
{
};

TEST_P(ConsoleTextTest, ShowsTheOutputAsATerminalWould)
{
    ConsoleWindow console;
    console.startOutput();
    for (const auto& chunk : GetParam().chunks)
        console.appendOutput(chunk);
    console.finishOutput();
    EXPECT_EQ(console.toPlainText(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Texts, ConsoleTextTest,
                         testing::Values(ConsoleCase{{"Zeile 1\nZeile 2\n"}, "Zeile 1\nZeile 2\n"},
                                         ConsoleCase{{"Kopf\n10%\r20%\r", "30%\n"}, "Kopf\n30%\n"},
                                         ConsoleCase{{"\xc3", "\xbc", "ber"},
                                                     QString::fromUtf8("über")}));

// A 50 MB line, a flood of carriage returns and of lines: what is kept stays bounded while the
// output comes, the view holds a bounded number of lines, and the end reads as a terminal's.
struct FloodCase {
    const char* name;
    std::string piece; // written again and again
    int repeats;
    std::string end;
    QString lastLines; // the view's end
    bool whole = true; // the view holds only these
};

void PrintTo(const FloodCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConsoleFloodTest : public testing::TestWithParam<FloodCase>
{
};

TEST_P(ConsoleFloodTest, KeepsBoundedAndEndsAsATerminalWould)
{
    constexpr qsizetype MostCharacters =
        (ConsoleLines::MostLines + 2) * (ConsoleLines::LongestLine + 2);
    ConsoleWindow console;
    console.startOutput();
    const FloodCase& c = GetParam();
    for (int i = 0; i < c.repeats; ++i) {
        console.appendOutput(c.piece);
        if (i % 64 == 0) {
            QCoreApplication::processEvents();
            ASSERT_LE(console.pendingCharacters(), MostCharacters) << i;
        }
    }
    console.appendOutput(c.end);
    console.finishOutput();
    const QTextDocument& shown = *console.document();
    EXPECT_LE(shown.blockCount(), ConsoleLines::MostLines + 1);
    EXPECT_LE(shown.characterCount(), MostCharacters);
    const QString text = console.toPlainText();
    EXPECT_TRUE(c.whole ? text == c.lastLines : text.endsWith(c.lastLines))
        << text.right(200).toStdString();
    for (QTextBlock line = shown.begin(); line.isValid(); line = line.next())
        ASSERT_LE(line.length(), ConsoleLines::LongestLine + 2);
}

INSTANTIATE_TEST_SUITE_P(
    Floods, ConsoleFloodTest,
    testing::Values(
        FloodCase{"a 50 MB line", std::string(64 * 1024, 'x'), 800, "Ende\n",
                  "…" + QString(ConsoleLines::LongestLine - 4, 'x') + "Ende\n"},
        // Pieces shorter than a line: the unfinished line is cut back as it grows.
        FloodCase{"a 5 MB line in small pieces", std::string(100, 'x'), 50000, "Ende\n",
                  "…" + QString(ConsoleLines::LongestLine - 4, 'x') + "Ende\n"},
        FloodCase{"carriage returns", "Durchgang 1/1: kodieren 42%\r", 200000, "fertig\n",
                  "fertig\n"},
        FloodCase{"carriage returns in a long line", std::string(5000, 'y') + "\r", 2000, "z", "z"},
        FloodCase{"lines", "Zeile\n", 100000, "letzte\n", "Zeile\nZeile\nletzte\n", false}));

TEST(ConsoleWindowTest, NewRunStartsEmptyAndShown)
{
    ConsoleWindow console;
    console.appendOutput("alter Lauf\n");
    console.startOutput();
    EXPECT_TRUE(console.toPlainText().isEmpty());
    EXPECT_TRUE(console.isVisible());
    EXPECT_TRUE(console.isWindow());
    EXPECT_TRUE(console.isReadOnly());
    EXPECT_EQ(console.windowTitle(), "BeSweet");
    EXPECT_FALSE(console.testAttribute(Qt::WA_QuitOnClose));
}

// The run's summary moves below the line that says how it ended: in sight and said once; a
// summary of the run before does not come back.
TEST(ConsoleWindowTest, EndsWithTheRunsSummary)
{
    const std::string Summary = "Geliefert: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP";
    const struct {
        std::vector<std::string> earlierRun;
        std::vector<std::string> chunks;
        QString end;
    } cases[] = {
        {{},
         {"Pass 1/1: encoding 100%\n", Summary.substr(0, 20), Summary.substr(20) + "\n"},
         QString::fromStdString("Pass 1/1: encoding 100%\nBeSweet beendet mit Exit-Code 0.\n" +
                                Summary + "\n")},
        {{},
         {Summary + "\nbesweet: warning: a hole of 2.0 s was filled\n"},
         QString::fromStdString("besweet: warning: a hole of 2.0 s was filled\n"
                                "BeSweet beendet mit Exit-Code 0.\n" +
                                Summary + "\n")},
        {{},
         {"Pass 1/1: encoding 100%\r", Summary},
         QString::fromStdString("BeSweet beendet mit Exit-Code 0.\n" + Summary + "\n")},
        {{Summary + "\n"},
         {"besweet: no audio\n"},
         "besweet: no audio\nBeSweet beendet mit Exit-Code 0.\n"},
    };
    for (const auto& run : cases) {
        ConsoleWindow console;
        console.startOutput();
        for (const auto& chunk : run.earlierRun)
            console.appendOutput(chunk);
        console.startOutput();
        for (const auto& chunk : run.chunks)
            console.appendOutput(chunk);
        console.finishOutput();
        console.showRunEnd(ProcessEnd::exited(0));
        EXPECT_EQ(console.toPlainText(), run.end);
    }
}

} // namespace

// A window manager may frame the console more thickly than the main window (a resize handle
// below), so it would stick out of the screen: once painted, it is made to end on the screen.
TEST(ConsoleWindowPlacement, EndsOnTheScreenOnceItsFrameIsKnown)
{
    for (const QPoint beyond : {QPoint(0, 4), QPoint(7, 0), QPoint(-10, -10)}) {
        QWidget main;
        main.setGeometry(20, 30, 374, 317);
        main.show();
        auto* console = new ConsoleWindow(&main);
        console->startOutput();
        const QRect room = console->screen()->availableGeometry();
        const QSize size = console->size();
        console->move(room.bottomRight() + QPoint(1, 1) + beyond -
                      QPoint(console->frameGeometry().width(), console->frameGeometry().height()));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(console));
        EXPECT_TRUE(QTest::qWaitFor([&] { return room.contains(console->frameGeometry()); }, 500));
        EXPECT_EQ(console->size(), size - QSize(std::max(0, beyond.x()), std::max(0, beyond.y())));
    }
}

TEST(ConsoleWindowPlacement, OpensBelowTheMainWindowOnceThenStaysWhereTheUserLeftIt)
{
    QWidget main;
    main.setGeometry(20, 30, 374, 317);
    main.show();
    auto* console = new ConsoleWindow(&main);
    console->resize(300, 200);
    console->startOutput();
    EXPECT_GT(console->frameGeometry().top(), main.frameGeometry().bottom());
    EXPECT_EQ(console->frameGeometry().left(), main.frameGeometry().left());

    console->move(400, 10);
    console->startOutput();
    EXPECT_EQ(console->pos(), QPoint(400, 10));
}

namespace
{

struct PlacementCase {
    const char* what;
    QRect screen;
    QRect main; // its frame; the title bar is the top 25 pixels
    QRect expected;
};

void PrintTo(const PlacementCase& c, std::ostream* os)
{
    *os << c.what;
}

class ConsolePlacement : public testing::TestWithParam<PlacementCase>
{
};

TEST_P(ConsolePlacement, BesideTheMainWindowWhereThereIsRoomNeverOverItsTitleBar)
{
    const PlacementCase& c = GetParam();
    const QRect placed =
        consolePlacement(c.main, c.main.top() + 25, c.screen, QSize(640, 400), QSize(320, 160));
    EXPECT_EQ(placed, c.expected);
    EXPECT_TRUE(c.screen.contains(placed));
    const QRect titleBar(c.main.topLeft(), QSize(c.main.width(), 25));
    EXPECT_FALSE(placed.intersects(titleBar));
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ConsolePlacement,
    testing::Values(PlacementCase{"below, whole", QRect(0, 0, 1920, 1080), QRect(20, 30, 376, 365),
                                  QRect(20, 395, 640, 400)},
                    PlacementCase{"below, lower than wanted", QRect(0, 0, 1280, 900),
                                  QRect(453, 267, 376, 365), QRect(453, 632, 640, 268)},
                    PlacementCase{"below, moved in from the right edge", QRect(0, 0, 1280, 900),
                                  QRect(860, 100, 376, 365), QRect(640, 465, 640, 400)},
                    PlacementCase{"right", QRect(0, 0, 1280, 900), QRect(100, 500, 376, 365),
                                  QRect(476, 500, 640, 400)},
                    PlacementCase{"left", QRect(0, 0, 1280, 900), QRect(880, 500, 376, 365),
                                  QRect(240, 500, 640, 400)},
                    PlacementCase{"above", QRect(0, 0, 500, 900), QRect(60, 500, 376, 365),
                                  QRect(0, 100, 500, 400)},
                    PlacementCase{"no room: below the title bar", QRect(0, 0, 800, 600),
                                  QRect(200, 150, 400, 300), QRect(160, 175, 640, 400)},
                    PlacementCase{"a second screen", QRect(1920, 0, 1280, 1024),
                                  QRect(2000, 40, 376, 365), QRect(2000, 405, 640, 400)}));

} // namespace
