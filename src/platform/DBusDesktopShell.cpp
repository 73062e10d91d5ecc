// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DBusDesktopShell.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <utility>

namespace klangdorn
{

namespace
{

constexpr const char* NotificationsPath = "/org/freedesktop/Notifications";
// Any path does for the signal; receivers go by the entry's name in its first argument.
constexpr const char* LauncherEntryPath = "/io/github/klangdorn/LauncherEntry";
constexpr int ServersDefaultTimeout = -1;

} // namespace

DBusDesktopShell::DBusDesktopShell(QDBusConnection bus, QString desktopId)
    : m_bus(std::move(bus)), m_desktopId(std::move(desktopId))
{
}

void DBusDesktopShell::showProgress(std::optional<int> percent)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(QString::fromLatin1(LauncherEntryPath),
                                                     QString::fromLatin1(LauncherEntryInterface),
                                                     QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress-visible"), percent.has_value());
    if (percent)
        properties.insert(QStringLiteral("progress"), *percent / 100.0);
    update << QStringLiteral("application://") + m_desktopId + QStringLiteral(".desktop")
           << properties;
    m_bus.send(update);
}

void DBusDesktopShell::notify(const std::string& summary, const std::string& body)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(NotificationsService), QString::fromLatin1(NotificationsPath),
        QString::fromLatin1(NotificationsService), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), m_desktopId);
    call << QStringLiteral("Klangdorn") << 0u << m_desktopId << QString::fromStdString(summary)
         << QString::fromStdString(body) << QStringList() << hints << ServersDefaultTimeout;
    // The reply is not waited for: without a service the error reply goes unread.
    m_bus.send(call);
}

} // namespace klangdorn
