// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TopMostWindow.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using namespace klangdorn;

namespace
{

TEST(TopMostWindow, ShownWindowChangesGroupWithoutBeingHiddenMovedOrRecreated)
{
    QWidget window;
    window.setGeometry(40, 50, 200, 100);
    TopMostWindow stacking;
    stacking.setTopMost(window, true); // before the first show: only the hint
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const WId nativeWindow = window.winId();
    const QRect geometry = window.geometry();

    for (const bool onTop : {false, true, false}) {
        stacking.setTopMost(window, onTop);
        EXPECT_EQ(bool(window.windowFlags() & Qt::WindowStaysOnTopHint), onTop);
        EXPECT_EQ(bool(window.windowHandle()->flags() & Qt::WindowStaysOnTopHint), onTop);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.winId(), nativeWindow);
        EXPECT_EQ(window.geometry(), geometry);
    }
}

} // namespace
