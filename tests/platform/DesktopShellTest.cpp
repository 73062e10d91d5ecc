// SPDX-License-Identifier: GPL-3.0-or-later
// What reaches the desktop of a run, on a session bus of the test's own (dbus-daemon) with a
// small service in this process that records what it receives: the task bar entry's progress
// signal and the notifications.
#include "platform/DBusDesktopShell.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/ProcessTestSupport.h"
#include "ui/DesktopRunReport.h"
#include "ui/WaitBarBox.h"
#include "ui/WindowFixture.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using namespace klangdorn;

namespace
{

const QString DesktopId = QStringLiteral("io.github.klangdorn.Klangdorn");

// Records the progress signals it sees and serves the notification interface.
class BusRecorder : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<QVariantList> updates;
    QList<QVariantList> notifications;

public slots:
    uint Notify(const QString& application, uint replaces, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int timeout)
    {
        notifications.append({application, replaces, icon, summary, body, actions, hints, timeout});
        return static_cast<uint>(notifications.size());
    }
    void Update(const QDBusMessage& message) { updates.append(message.arguments()); }
};

// The file manager's interface: records the items it is asked to show.
class FileManagerRecorder : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shownItems;

public slots:
    void ShowItems(const QStringList& uris, const QString&) { shownItems.append(uris); }
};

class DesktopShellTest : public test::ProcessTest
{
protected:
    void SetUp() override
    {
        test::ProcessTest::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (package dbus)";
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(m_daemon.waitForReadyRead(10'000)) << "dbus-daemon did not start";
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        m_recorderBus.emplace(QDBusConnection::connectToBus(address, QStringLiteral("recorder")));
        m_shellBus.emplace(QDBusConnection::connectToBus(address, QStringLiteral("shell")));
        ASSERT_TRUE(m_recorderBus->isConnected() && m_shellBus->isConnected());
        ASSERT_TRUE(m_recorderBus->connect(QString(), QString(), LauncherEntryInterface,
                                           QStringLiteral("Update"), &recorder,
                                           SLOT(Update(QDBusMessage))));
        shell.emplace(*m_shellBus, DesktopId, messages, [this](const QString& folder) {
            openedFolders.append(folder);
            return desktopOpensFolders;
        });
    }
    void TearDown() override
    {
        shell.reset();
        m_recorderBus.reset();
        m_shellBus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("recorder"));
        QDBusConnection::disconnectFromBus(QStringLiteral("shell"));
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished();
        }
        test::ProcessTest::TearDown();
    }
    void offerNotifications()
    {
        ASSERT_TRUE(m_recorderBus->registerService(NotificationsService));
        ASSERT_TRUE(m_recorderBus->registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                                  &recorder, QDBusConnection::ExportAllSlots));
    }

    void offerFileManager()
    {
        ASSERT_TRUE(m_recorderBus->registerService(FileManagerService));
        ASSERT_TRUE(m_recorderBus->registerObject(FileManagerPath, &fileManager,
                                                  QDBusConnection::ExportAllSlots));
    }

    // The notification server's answer when the user clicks one of a notification's actions.
    void clickAction(uint notification, const QString& action)
    {
        QDBusMessage invoked =
            QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                       NotificationsService, QStringLiteral("ActionInvoked"));
        invoked << notification << action;
        ASSERT_TRUE(m_recorderBus->send(invoked));
    }
    // A notification, if any, has arrived once a later one has.
    void waitForEarlierNotifications()
    {
        shell->notify({"Ende", "", ""});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return !recorder.notifications.isEmpty() &&
                       recorder.notifications.back()[3] == "Ende";
            },
            5000));
        recorder.notifications.removeLast();
    }

    BusRecorder recorder;
    FileManagerRecorder fileManager;
    test::FakeMessageBoxes messages;
    std::optional<DBusDesktopShell> shell;
    QStringList openedFolders; // the other way than the file manager
    bool desktopOpensFolders = true;

private:
    QProcess m_daemon;
    std::optional<QDBusConnection> m_recorderBus;
    std::optional<QDBusConnection> m_shellBus;
};

// The real launcher runs a transcoder that tells its progress: the entry shows it while the
// run lasts and loses it at the end.
TEST_F(DesktopShellTest, TheTaskBarEntryFollowsTheTranscodersPercentage)
{
    QWidget window;
    WaitBarBox box(&window);
    DesktopRunReport report(
        window, [&] { return &box; }, *shell);
    PosixProcessLauncher launcher(nullptr, &report);
    setEnv("FAKE_SAY", "Pass 2/2: encoding 40%");
    const auto process = launcher.launch({FAKE_TRANSCODER}, "", false);
    launcher.fAppControl(*process);

    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.updates.size() >= 2; }, 5000));
    const QString entry = QStringLiteral("application://io.github.klangdorn.Klangdorn.desktop");
    ASSERT_EQ(recorder.updates[0].size(), 2);
    EXPECT_EQ(recorder.updates[0][0].toString(), entry);
    const QVariantMap shown = qdbus_cast<QVariantMap>(recorder.updates[0][1]);
    EXPECT_DOUBLE_EQ(shown.value("progress").toDouble(), 0.7);
    EXPECT_TRUE(shown.value("progress-visible").toBool());
    EXPECT_EQ(recorder.updates[1][0].toString(), entry);
    EXPECT_FALSE(
        qdbus_cast<QVariantMap>(recorder.updates[1][1]).value("progress-visible").toBool());
}

// The wait box offers the percentage to tool tips and assistive technology, then its own
// tool tip again.
TEST_F(DesktopShellTest, TheWaitBoxOffersThePercentage)
{
    QWidget window;
    WaitBarBox box(&window);
    box.setToolTip(QStringLiteral("Bewegt sich"));
    DesktopRunReport report(
        window, [&] { return &box; }, *shell);
    report.startOutput();
    report.appendOutput("Pass 1/1: encoding 42%\n");
    EXPECT_EQ(box.toolTip(), QStringLiteral("42 %"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&box);
    ASSERT_TRUE(accessible && accessible->valueInterface());
    EXPECT_EQ(accessible->valueInterface()->currentValue().toInt(), 42);
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("42 %"));
    report.finishOutput();
    EXPECT_EQ(box.toolTip(), QStringLiteral("Bewegt sich"));
}

enum class Active { None, MainWindow, ItsConsole };

const QString Summary = QStringLiteral("Geliefert: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP");

struct EndCase {
    const char* name;
    Active active;
    std::optional<Message> failure;
    int notifications;
};

class RunEndTest : public DesktopShellTest, public testing::WithParamInterface<EndCase>
{
};

// The real launcher runs a transcoder that ends with its summary line; the run's end is told
// only when unseen, a good run's with the summary and the offer to open the target's folder.
TEST_P(RunEndTest, OnlyARunEndingUnseenIsNotified)
{
    offerNotifications();
    QWidget window;
    QWidget console(&window, Qt::Window);
    DesktopRunReport report(
        window, [] { return nullptr; }, *shell);
    if (GetParam().active != Active::None) {
        QWidget& active = GetParam().active == Active::MainWindow ? window : console;
        window.show();
        active.show();
        active.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&active));
    }
    PosixProcessLauncher launcher(nullptr, &report);
    setEnv("FAKE_SAY", "Pass 1/1: encoding 100%\n" + Summary.toStdString());
    launcher.fAppControl(*launcher.launch({FAKE_TRANSCODER}, "", false));
    report.runEnded("/home/anna/DVD/film.ac3", GetParam().failure);
    waitForEarlierNotifications();
    ASSERT_EQ(recorder.notifications.size(), GetParam().notifications);
    if (GetParam().notifications == 0)
        return;
    const QVariantList& notice = recorder.notifications.front();
    EXPECT_EQ(notice[2].toString(), DesktopId); // the icon
    EXPECT_EQ(notice[3].toString(),
              GetParam().failure ? "Transcode fehlgeschlagen" : "Transcode beendet");
    EXPECT_EQ(notice[4].toString(),
              GetParam().failure ? "Die Zieldatei wurde nicht erstellt." : "film.ac3\n" + Summary);
    EXPECT_EQ(notice[5].toStringList(), GetParam().failure
                                            ? QStringList()
                                            : QStringList({"ordner-oeffnen", "Ordner öffnen"}));
    EXPECT_EQ(notice[6].toMap().value("desktop-entry").toString(), DesktopId);
}

const Message Failure{"Die Zieldatei wurde nicht erstellt.\r\nBitte das Log prüfen."};

INSTANTIATE_TEST_SUITE_P(
    Ends, RunEndTest,
    testing::Values(EndCase{"SuccessUnseen", Active::None, std::nullopt, 1},
                    EndCase{"FailureUnseen", Active::None, Failure, 1},
                    EndCase{"SuccessInSight", Active::MainWindow, std::nullopt, 0},
                    EndCase{"ConsoleInSight", Active::ItsConsole, std::nullopt, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// "Ordner öffnen" on a good run's notification opens its target's folder; another action, or
// the action on a notification without a folder or of another program, opens nothing.
TEST_F(DesktopShellTest, OpenFolderOpensTheTargetsFolder)
{
    offerNotifications();
    shell->notify({"Transcode beendet", "film.ac3", "/home/anna/DVD"});
    shell->notify({"Transcode fehlgeschlagen", "kaputt", ""});
    shell->notify({"Marke", "", "/marke"}); // opened after each click: the click has been taken
    waitForEarlierNotifications();
    ASSERT_EQ(recorder.notifications.size(), 3);
    const struct {
        uint notification;
        const char* action;
        QStringList opened;
    } clicks[] = {
        {1, "default", {}},
        {2, "ordner-oeffnen", {}},
        {77, "ordner-oeffnen", {}},
        {1, "ordner-oeffnen", {"/home/anna/DVD"}},
    };
    for (const auto& click : clicks) {
        openedFolders.clear();
        clickAction(click.notification, click.action);
        clickAction(3, "ordner-oeffnen");
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !openedFolders.isEmpty() && openedFolders.back() == "/marke"; }, 5000));
        openedFolders.removeLast();
        EXPECT_EQ(openedFolders, click.opened) << click.notification << " " << click.action;
    }
}

struct FolderCase {
    const char* name;
    bool fileManager;         // on the bus
    bool desktopOpensFolders; // Qt's desktop services find a way
    QString shown;            // asked of the file manager
    QString opened;           // opened the desktop's other way
    bool box;
};

class OpenFolderTest : public DesktopShellTest, public testing::WithParamInterface<FolderCase>
{
};

// "Ordner öffnen" on the notification of a run that ended unseen: the file manager shows the
// target selected; without one the folder opens the desktop's other way, and where nothing can
// open it one box names the folder.
TEST_P(OpenFolderTest, OpenFolderShowsTheTargetOrSaysWhyNot)
{
    const FolderCase& c = GetParam();
    offerNotifications();
    if (c.fileManager)
        offerFileManager();
    desktopOpensFolders = c.desktopOpensFolders;
    QWidget window;
    DesktopRunReport report(
        window, [] { return nullptr; }, *shell);
    report.runEnded("/home/anna/DVD/film 1.ac3", std::nullopt);
    waitForEarlierNotifications();
    clickAction(1, "ordner-oeffnen");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return fileManager.shownItems.size() + openedFolders.size() > 0; }, 5000));
    QTest::qWait(100); // a second way would follow at once
    EXPECT_EQ(fileManager.shownItems,
              c.shown.isEmpty() ? QList<QStringList>() : QList<QStringList>{{c.shown}});
    EXPECT_EQ(openedFolders, c.opened.isEmpty() ? QStringList() : QStringList{c.opened});
    ASSERT_EQ(messages.shown.size(), c.box ? 1u : 0u);
    if (c.box) {
        EXPECT_EQ(messages.shown[0].text, "Der Ordner „/home/anna/DVD“ lässt sich nicht öffnen: "
                                          "kein Dateimanager\r\nund kein Programm zum Öffnen "
                                          "(xdg-utils) gefunden.");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, OpenFolderTest,
    testing::Values(FolderCase{"FileManager", true, false, "file:///home/anna/DVD/film%201.ac3", "",
                               false},
                    FolderCase{"DesktopServices", false, true, "", "/home/anna/DVD", false},
                    FolderCase{"Nothing", false, false, "", "/home/anna/DVD", true}),
    [](const auto& info) { return std::string(info.param.name); });

// Records each tool tip a widget is given.
class ToolTipRecorder : public QObject
{
public:
    QStringList toolTips;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTipChange)
            toolTips.append(static_cast<QWidget*>(watched)->toolTip());
        return false;
    }
};

using WindowRunTest = test::ProcessTest;

// The window hands its runs' output to the wait box: the percentage while the run lasts.
TEST_F(WindowRunTest, TheWaitBoxShowsTheRunsPercentage)
{
    QtSettingsBackend backend;
    SettingsStore settings{backend, [] { return std::string("Klangdorn_desktop_wiring"); }};
    settings.saveText(SettingKey::Besweet, FAKE_TRANSCODER);
    test::FakeMessageBoxes messages;
    test::FakeFileDialog dialog;
    test::FakeStacking stacking;
    frmMain window(settings, messages, dialog, stacking);
    window.findChild<QLineEdit*>("txtInputFile")->setText(QString::fromStdString(path("a.wav")));
    window.findChild<QLineEdit*>("txtOutputFile")->setText(QString::fromStdString(path("a.ac3")));
    auto* box = window.findChild<WaitBarBox*>("picWaitBar");
    ASSERT_NE(box, nullptr);
    const QString resting = box->toolTip();
    ToolTipRecorder recorder;
    box->installEventFilter(&recorder);
    setEnv("FAKE_SAY", "Pass 1/1: encoding 40%");
    setEnv("FAKE_WRITE_TARGET", "1");

    window.cmdTranscode_Click();
    EXPECT_EQ(recorder.toolTips, QStringList({"40 %", resting}));
}

} // namespace

#include "DesktopShellTest.moc"
