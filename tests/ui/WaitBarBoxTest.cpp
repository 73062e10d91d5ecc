// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WaitBarBox.h"

#include "platform/Appearance.h"
#include "platform/DesktopShell.h"
#include "ui/DesktopRunReport.h"

#include <QAccessible>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

using namespace klangdorn;

namespace
{

int textColouredPixels(WaitBarBox& box, const QRect& area)
{
    const QImage image = box.grab().toImage();
    const QRgb text = box.palette().color(QPalette::WindowText).rgb();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixel(x, y) == text ? 1 : 0;
    return count;
}

TEST(WaitBarBox, DrawsEachNAsASquareAfterItsBlanksAndClearsAgain)
{
    WaitBarBox box;
    box.setFont(waitBarFont());
    box.resize(65, 17);
    const int blanks = box.textWidth("   ");
    const int square = box.textWidth("n");
    ASSERT_GT(blanks, 0);
    ASSERT_GT(square, 0);

    box.drawText(0, 0, "   n ");
    const QRect inside = box.contentsRect();
    const QRect beforeSquare(inside.left(), inside.top(), blanks - 1, inside.height());
    const QRect atSquare(inside.left() + blanks, inside.top(), square, inside.height());
    EXPECT_EQ(textColouredPixels(box, beforeSquare), 0);
    EXPECT_GT(textColouredPixels(box, atSquare), square * 2);

    box.clear();
    EXPECT_EQ(textColouredPixels(box, inside), 0);
}

} // namespace

namespace
{

// The desktop's side, of which only the task bar's percentage is looked at.
class TaskBar : public DesktopShell
{
public:
    std::vector<std::optional<int>> shown;
    void showProgress(std::optional<int> percent) override { shown.push_back(percent); }
    void notify(const DesktopNotice&) override {}
};

enum class Step { Start, Output, Finish, EndWell, EndFailed };

struct Told {
    Step step;
    double seconds; // since the test's start
    std::string output;
    QString words; // the box's tool tip and accessible description; empty: its own tool tip
};

struct TellingCase {
    const char* name;
    std::vector<Told> steps;
};

void PrintTo(const TellingCase& c, std::ostream* os)
{
    *os << c.name;
}

class WaitBoxTellingTest : public testing::TestWithParam<TellingCase>
{
};

const std::string Summary = "Geliefert: 1:00.0, -9.7 LUFS, LRA 0.0 LU, -0.4 dBTP";

// The square stays; what the box tells follows the run: its percentage and, once it can be
// told, the time left; after a good run its summary until the next run starts.
TEST_P(WaitBoxTellingTest, TheBoxTellsTheRunInItsToolTipAndDescription)
{
    QWidget window;
    WaitBarBox box(&window);
    box.setToolTip("Bewegt sich");
    TaskBar taskBar;
    const SteadyTime start{};
    SteadyTime now = start;
    DesktopRunReport report(
        window, [&] { return &box; }, taskBar, [&] { return now; });
    for (const Told& told : GetParam().steps) {
        now = start + std::chrono::duration_cast<SteadyTime::duration>(
                          std::chrono::duration<double>(told.seconds));
        switch (told.step) {
        case Step::Start:
            report.startOutput();
            break;
        case Step::Output:
            report.appendOutput(told.output);
            break;
        case Step::Finish:
            report.finishOutput();
            break;
        case Step::EndWell:
        case Step::EndFailed:
            report.runEnded(
                "/dvd/film.ac3",
                told.step == Step::EndWell ? std::nullopt : std::optional(Message{"kaputt"}), {});
            break;
        }
        const QString expected = told.words.isEmpty() ? QString("Bewegt sich") : told.words;
        EXPECT_EQ(box.toolTip(), expected) << told.seconds;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&box);
        ASSERT_TRUE(accessible);
        EXPECT_EQ(accessible->text(QAccessible::Description), expected) << told.seconds;
    }
    EXPECT_FALSE(taskBar.shown.empty());
    EXPECT_EQ(taskBar.shown.back(), std::nullopt) << "the task bar's progress ends with the run";
}

const QString Run5 = "5 %";

INSTANTIATE_TEST_SUITE_P(
    Runs, WaitBoxTellingTest,
    testing::Values(
        TellingCase{"GoodRun",
                    {{Step::Start, 0, "", ""},
                     {Step::Output, 1, "Pass 1/2: scan 10%\n", Run5},
                     {Step::Output, 20, "Pass 2/2: encoding 0%\nPass 2/2: encoding 10%\n",
                      "55 %, noch weniger als eine Minute"},
                     {Step::Output, 21, Summary + "\n", "55 %, noch weniger als eine Minute"},
                     {Step::Finish, 22, "", ""},
                     {Step::EndWell, 22, "", QString::fromStdString(Summary)},
                     {Step::Start, 30, "", ""}}},
        TellingCase{"SlowRun",
                    {{Step::Start, 0, "", ""},
                     {Step::Output, 60, "Pass 1/1: encoding 10%\n", "10 %, noch etwa 9 Minuten"},
                     {Step::Output, 90, "Pass 1/1: encoding 20%\n", "20 %, noch etwa 4 Minuten"},
                     {Step::Finish, 95, "", ""},
                     {Step::EndWell, 95, "", ""}}},
        TellingCase{"FailedRun",
                    {{Step::Start, 0, "", ""},
                     {Step::Output, 4, "Pass 1/1: encoding 10%\n" + Summary + "\n",
                      "10 %, noch weniger als eine Minute"},
                     {Step::Finish, 5, "", ""},
                     {Step::EndFailed, 5, "", ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
