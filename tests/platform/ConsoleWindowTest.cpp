#include "ui/ConsoleWindow.h"

#include <QWidget>
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

INSTANTIATE_TEST_SUITE_P(
    Texts, ConsoleTextTest,
    testing::Values(ConsoleCase{{"Zeile 1\nZeile 2\n"}, "Zeile 1\nZeile 2\n"},
                    ConsoleCase{{"Zeile 1\r\nZeile 2"}, "Zeile 1\nZeile 2"},
                    ConsoleCase{{"Zeile 1\r", "\nZeile 2"}, "Zeile 1\nZeile 2"},
                    ConsoleCase{{"Kopf\n10%\r20%\r", "30%\n"}, "Kopf\n30%\n"},
                    ConsoleCase{{"\xc3", "\xbc", "ber"}, QString::fromUtf8("über")}));

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

} // namespace

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
