// SPDX-License-Identifier: GPL-3.0-or-later
// main() of the tests that need Qt: a QApplication on the offscreen platform and a fresh
// XDG_CONFIG_HOME for the whole run, so no test ever touches the user's settings, and no
// session bus, so no test's run reaches the user's task bar or notifications.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir configHome;
    if (!configHome.isValid())
        return 2;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + configHome.path().toLocal8Bit() + "/no-bus");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
