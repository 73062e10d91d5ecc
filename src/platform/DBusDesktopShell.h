// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop shell over the session bus: the progress as the LauncherEntry signal that task
// bars and docks read for the entry of the program's desktop file, the notification through
// the notification service, with "Ordner öffnen" on a good run's: the file manager shows the
// target selected (org.freedesktop.FileManager1), else the folder opens the desktop's way
// (portal or xdg-open), else a box says that nothing could open it. The bus is reached on a
// thread of its own and nothing sent is waited for, so the window's thread never waits on the
// bus; without a bus or a service nothing happens.
#pragma once

#include "job/UserDialogs.h"
#include "platform/DesktopShell.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <thread>
#include <vector>

namespace klangdorn
{

inline constexpr const char* LauncherEntryInterface = "com.canonical.Unity.LauncherEntry";
inline constexpr const char* NotificationsService = "org.freedesktop.Notifications";
inline constexpr const char* NotificationsPath = "/org/freedesktop/Notifications";
inline constexpr const char* FileManagerService = "org.freedesktop.FileManager1";
inline constexpr const char* FileManagerPath = "/org/freedesktop/FileManager1";

// Opens a folder the desktop's way (Qt's desktop services), without waiting for it; false when
// nothing there can open it.
bool OpenFolderOnDesktop(const QString& folder);

// The box when nothing could open the folder.
Message FolderNotOpenedMessage(const std::string& folder);

class DBusDesktopShell final : public QObject, public DesktopShell
{
    Q_OBJECT
public:
    using FolderOpener = std::function<bool(const QString& folder)>;

    // `connect` gives the bus; it is called on a thread of its own at reach(). `desktopId`
    // is the desktop file's name without ".desktop". `messages` tells a folder that could
    // not be opened; `openFolder` is the way when the file manager is not on the bus.
    DBusDesktopShell(std::function<QDBusConnection()> connect, QString desktopId,
                     MessageBoxes& messages, FolderOpener openFolder = OpenFolderOnDesktop);
    // Over a connection made already: reached at once.
    DBusDesktopShell(QDBusConnection bus, QString desktopId, MessageBoxes& messages,
                     FolderOpener openFolder = OpenFolderOnDesktop);
    ~DBusDesktopShell() override;

    void reach() override;
    void showProgress(std::optional<int> percent) override;
    void notify(const DesktopNotice& notice) override;

private slots:
    void actionInvoked(uint id, const QString& action);

private:
    void reached(const QDBusConnection& bus);
    void sendProgress(std::optional<int> percent);
    void sendNotice(const DesktopNotice& notice);
    struct Shown {
        QString folder;
        QString target;
    };
    void showInFileManager(const Shown& shown);
    void openFolderElsewhere(const QString& folder);

    std::function<QDBusConnection()> m_connect;
    QString m_desktopId;
    MessageBoxes& m_messages;
    FolderOpener m_openFolder;
    std::optional<QDBusConnection> m_bus; // once reached
    std::thread m_connecting;
    // What was shown before the bus was reached: the latest progress and every notice.
    std::optional<std::optional<int>> m_unsentProgress;
    std::vector<DesktopNotice> m_unsentNotices;
    std::map<uint, Shown> m_folders; // of the notifications that offer to open one
};

} // namespace klangdorn
