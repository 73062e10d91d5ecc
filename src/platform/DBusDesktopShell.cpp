// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DBusDesktopShell.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <utility>

namespace klangdorn
{

namespace
{

// Any path does for the signal; receivers go by the entry's name in its first argument.
constexpr const char* LauncherEntryPath = "/io/github/klangdorn/LauncherEntry";
constexpr int ServersDefaultTimeout = -1;

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

bool OpenFolderOnDesktop(const QString& folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

Message FolderNotOpenedMessage(const std::string& folder)
{
    return Message{"Der Ordner „" + folder + "“ lässt sich nicht öffnen: kein Dateimanager" +
                       LineBreak + "und kein Programm zum Öffnen (xdg-utils) gefunden.",
                   MessageButtons::Ok, MessageIcon::Exclamation, "Ordner öffnen"};
}

DBusDesktopShell::DBusDesktopShell(std::function<QDBusConnection()> connect, QString desktopId,
                                   MessageBoxes& messages, FolderOpener openFolder)
    : m_connect(std::move(connect)), m_desktopId(std::move(desktopId)), m_messages(messages),
      m_openFolder(std::move(openFolder))
{
}

DBusDesktopShell::DBusDesktopShell(QDBusConnection bus, QString desktopId, MessageBoxes& messages,
                                   FolderOpener openFolder)
    : m_desktopId(std::move(desktopId)), m_messages(messages), m_openFolder(std::move(openFolder))
{
    reached(bus);
}

DBusDesktopShell::~DBusDesktopShell()
{
    if (m_connecting.joinable())
        m_connecting.join();
}

void DBusDesktopShell::reach()
{
    if (m_bus || m_connecting.joinable() || !m_connect)
        return;
    m_connecting = std::thread([this] {
        const QDBusConnection bus = m_connect();
        // Handed to the window's thread; gone with this object if it goes first.
        QMetaObject::invokeMethod(
            this, [this, bus] { reached(bus); }, Qt::QueuedConnection);
    });
}

void DBusDesktopShell::reached(const QDBusConnection& bus)
{
    if (m_connecting.joinable())
        m_connecting.join();
    m_bus = bus;
    if (!bus.isConnected()) {
        m_unsentProgress.reset();
        m_unsentNotices.clear();
        return;
    }
    // Any sender: naming the service would make Qt ask the bus for its owner and wait.
    m_bus->connect(QString(), QString::fromLatin1(NotificationsPath),
                   QString::fromLatin1(NotificationsService), QStringLiteral("ActionInvoked"), this,
                   SLOT(actionInvoked(uint, QString)));
    if (m_unsentProgress)
        sendProgress(*std::exchange(m_unsentProgress, std::nullopt));
    for (const DesktopNotice& notice : std::exchange(m_unsentNotices, {}))
        sendNotice(notice);
}

void DBusDesktopShell::showProgress(std::optional<int> percent)
{
    if (m_bus)
        sendProgress(percent);
    else
        m_unsentProgress = percent;
}

void DBusDesktopShell::notify(const DesktopNotice& notice)
{
    if (m_bus)
        sendNotice(notice);
    else
        m_unsentNotices.push_back(notice);
}

void DBusDesktopShell::sendProgress(std::optional<int> percent)
{
    if (!m_bus->isConnected())
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
    m_bus->send(update);
}

void DBusDesktopShell::sendNotice(const DesktopNotice& notice)
{
    if (!m_bus->isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(NotificationsService), QString::fromLatin1(NotificationsPath),
        QString::fromLatin1(NotificationsService), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), m_desktopId);
    QStringList actions;
    const QString folder = fromStd(notice.folder);
    if (!folder.isEmpty())
        actions << QString::fromLatin1(OpenFolderAction) << QString::fromUtf8(OpenFolderLabel);
    call << QStringLiteral("Klangdorn") << 0u << m_desktopId << fromStd(notice.summary)
         << fromStd(notice.body) << actions << hints << ServersDefaultTimeout;
    const QDBusPendingCall pending = m_bus->asyncCall(call);
    if (folder.isEmpty())
        return; // the reply is not needed: without a service the error goes unread
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, shown = Shown{folder, fromStd(notice.target)}](QDBusPendingCallWatcher* finished) {
            const QDBusPendingReply<uint> reply = *finished;
            if (reply.isValid())
                m_folders[reply.value()] = shown;
            finished->deleteLater();
        });
}

void DBusDesktopShell::actionInvoked(uint id, const QString& action)
{
    const auto found = m_folders.find(id);
    if (found == m_folders.end() || action != QLatin1String(OpenFolderAction))
        return;
    showInFileManager(found->second);
}

// Asked without waiting; only when the file manager is not there (or refuses) is the folder
// opened another way.
void DBusDesktopShell::showInFileManager(const Shown& shown)
{
    if (shown.target.isEmpty() || !m_bus->isConnected()) {
        openFolderElsewhere(shown.folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(FileManagerService), QString::fromLatin1(FileManagerPath),
        QString::fromLatin1(FileManagerService), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(shown.target).toString(QUrl::FullyEncoded)}
         << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, folder = shown.folder](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (finished->isError())
                    openFolderElsewhere(folder);
            });
}

void DBusDesktopShell::openFolderElsewhere(const QString& folder)
{
    if (!m_openFolder(folder))
        m_messages.show(FolderNotOpenedMessage(folder.toStdString()));
}

} // namespace klangdorn
