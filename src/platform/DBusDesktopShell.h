// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop shell over the session bus: the progress as the LauncherEntry signal that task
// bars and docks read for the entry of the program's desktop file, the notification through
// the notification service. Nothing is waited for; without a bus or a service nothing happens.
#pragma once

#include "platform/DesktopShell.h"

#include <QDBusConnection>
#include <QString>

namespace klangdorn
{

inline constexpr const char* LauncherEntryInterface = "com.canonical.Unity.LauncherEntry";
inline constexpr const char* NotificationsService = "org.freedesktop.Notifications";

class DBusDesktopShell final : public DesktopShell
{
public:
    // `desktopId` is the desktop file's name without ".desktop".
    DBusDesktopShell(QDBusConnection bus, QString desktopId);

    void showProgress(std::optional<int> percent) override;
    void notify(const std::string& summary, const std::string& body) override;

private:
    QDBusConnection m_bus;
    QString m_desktopId;
};

} // namespace klangdorn
