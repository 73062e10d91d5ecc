// SPDX-License-Identifier: GPL-3.0-or-later
// The program's icon and desktop file name: what a task bar shows and how it finds the menu entry.
#include "platform/ProgramIdentity.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace
{

class BuiltInIconSize : public testing::TestWithParam<int>
{
};

TEST_P(BuiltInIconSize, IsDrawnAtThatSize)
{
    const int size = GetParam();
    const QIcon icon = klangdorn::bundledProgramIcon();
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
    const QPixmap pixmap = icon.pixmap(QSize(size, size));
    ASSERT_FALSE(pixmap.isNull());
    EXPECT_EQ(pixmap.size(), QSize(size, size));
}

INSTANTIATE_TEST_SUITE_P(DesktopSizes, BuiltInIconSize, testing::Values(16, 32, 48, 64, 128, 256));

TEST(ProgramIdentity, EveryWindowGetsTheIconAndTheDesktopFileName)
{
    klangdorn::useProgramIdentity();
    EXPECT_FALSE(QGuiApplication::windowIcon().isNull());
    EXPECT_EQ(QGuiApplication::desktopFileName(), klangdorn::applicationId());
}

} // namespace
