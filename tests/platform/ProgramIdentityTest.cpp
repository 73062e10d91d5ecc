// SPDX-License-Identifier: GPL-3.0-or-later
// The program's icon and desktop file name: what a task bar shows and how it finds the menu entry.
#include "platform/ProgramIdentity.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QWidget>
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

// The desktop file name must name the menu entry the package installs, or the task bar shows
// neither its name nor its icon; a window made later gets the program's icon.
TEST(ProgramIdentity, EveryWindowGetsTheIconAndTheDesktopFileName)
{
    klangdorn::useProgramIdentity();
    const QString entry = QStringLiteral(KLANGDORN_DIST_DIR "/linux/") +
                          QGuiApplication::desktopFileName() + QStringLiteral(".desktop");
    EXPECT_TRUE(QFileInfo(entry).isFile()) << entry.toStdString();
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("io.github.klangdorn.Klangdorn"));
    QWidget window;
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.windowIcon().pixmap(QSize(32, 32)).toImage(),
              klangdorn::bundledProgramIcon().pixmap(QSize(32, 32)).toImage());
}

} // namespace
