// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WaitBarBox.h"

#include "platform/Appearance.h"

#include <QImage>
#include <gtest/gtest.h>

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
