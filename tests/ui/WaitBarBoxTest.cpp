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

class TaskBar : public DesktopShell
{
public:
    std::optional<int> shown;
    void showProgress(std::optional<int> percent) override { shown = percent; }
    void notify(const DesktopNotice&) override {}
};

// The square stays; the box tells the run's percentage and, once it can be told, the time left;
// after a good run its summary until the next run starts.
TEST(WaitBarBox, TellsTheRunInItsToolTipAndDescription)
{
    const std::string summary = "Geliefert: 1:00.0, -9.7 LUFS, LRA 0.0 LU, -0.4 dBTP";
    const struct {
        double seconds;    // since the test's start
        std::string did;   // "start", output, "finish", a run that ended "good" or "failed"
        std::string words; // the box's tool tip and accessible description; empty: its own
    } steps[] = {
        {0, "start", ""},
        {1, "Pass 1/2: scan 10%\n", "5 %"},
        {20, "Pass 2/2: encoding 0%\nPass 2/2: encoding 10%\n", "55 %"},
        {60, "Pass 2/2: encoding 20%\n" + summary + "\n", "60 %, noch etwa 5 Minuten"},
        {61, "finish", ""},
        {61, "good", summary},
        {70, "start", ""},
        {74, "Pass 1/1: encoding 10%\n" + summary + "\n", "10 %, noch weniger als eine Minute"},
        {75, "finish", ""},
        {75, "failed", ""},
    };
    QWidget window;
    WaitBarBox box(&window);
    box.setToolTip("Bewegt sich");
    TaskBar taskBar;
    SteadyTime now{};
    DesktopRunReport report(
        window, [&] { return &box; }, taskBar, [&] { return now; });
    for (const auto& step : steps) {
        now = SteadyTime{} + std::chrono::duration_cast<SteadyTime::duration>(
                                 std::chrono::duration<double>(step.seconds));
        if (step.did == "start")
            report.startOutput();
        else if (step.did == "finish")
            report.finishOutput();
        else if (step.did == "good" || step.did == "failed")
            report.runEnded("/f.ac3", step.did == "good" ? std::nullopt : std::optional(Message{}),
                            {});
        else
            report.appendOutput(step.did);
        const QString expected =
            step.words.empty() ? "Bewegt sich" : QString::fromStdString(step.words);
        EXPECT_EQ(box.toolTip(), expected) << step.seconds;
        EXPECT_EQ(QAccessible::queryAccessibleInterface(&box)->text(QAccessible::Description),
                  expected);
    }
    EXPECT_EQ(taskBar.shown, std::nullopt) << "the task bar's progress ends with the run";
}

} // namespace
