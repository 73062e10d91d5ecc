// SPDX-License-Identifier: GPL-3.0-or-later
// A session bus that accepts connections and never answers (a stalled daemon, an address left
// over from another session): asked with a time limit, left out, and the window starts and
// runs without it. A bus of the test's own (dbus-daemon) answers.
#include "common/UniqueFd.h"
#include "platform/ProcessTestSupport.h"
#include "platform/SessionBusCheck.h"
#include "support/FakeDialogs.h"
#include "ui/WindowFixture.h"

#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

using namespace klangdorn;
using namespace std::chrono_literals;

namespace
{

// A socket that takes connections into its queue and never reads or writes; or, when it
// `signsIn`, one that takes the sign-in ("OK" to it) and the greeting call and never answers
// that call.
class SilentSocket
{
public:
    explicit SilentSocket(const std::string& name, bool signsIn = false)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        std::memcpy(where.sun_path, name.data(), name.size());
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() +
                                                   (name.front() == '\0' ? 0 : 1));
        m_listening = ::bind(m_fd.get(), reinterpret_cast<const sockaddr*>(&where), length) == 0 &&
                      ::listen(m_fd.get(), 16) == 0;
        if (m_listening && signsIn)
            m_server = std::thread([this] { signInAndKeepSilent(); });
    }
    ~SilentSocket()
    {
        ::shutdown(m_fd.get(), SHUT_RDWR); // ends a wait for a connection
        if (m_server.joinable())
            m_server.join();
    }
    bool listening() const { return m_listening; }
    // Whether the greeting call came after the sign-in.
    bool greeted() const { return m_greeted; }

private:
    void signInAndKeepSilent()
    {
        const UniqueFd connection(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
        std::string got;
        char buffer[512];
        bool signedIn = false;
        for (ssize_t n = 0; connection && (n = ::recv(connection.get(), buffer, 512, 0)) > 0;) {
            got.append(buffer, static_cast<std::size_t>(n));
            if (!signedIn && got.find("\r\n") != std::string::npos) {
                constexpr std::string_view Ok = "OK 0123456789abcdef0123456789abcdef\r\n";
                signedIn = ::send(connection.get(), Ok.data(), Ok.size(), MSG_NOSIGNAL) > 0;
                got.clear();
            }
            m_greeted = signedIn && got.find("Hello") != std::string::npos;
        }
    }

    UniqueFd m_fd;
    bool m_listening = false;
    std::atomic<bool> m_greeted = false;
    std::thread m_server;
};

// Ends the test program when the test has not ended in time: a wait on the bus without end
// shows as a failure, not as a test that never ends.
class HangGuard
{
public:
    explicit HangGuard(std::chrono::seconds limit)
        : m_watch([this, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_ended.wait_for(lock, limit, [this] { return m_done; })) {
                  std::fprintf(stderr, "Hängt: nach %lld s nicht beendet\n",
                               static_cast<long long>(limit.count()));
                  std::_Exit(1);
              }
          })
    {
    }
    ~HangGuard()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_ended.notify_one();
        m_watch.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_watch;
};

// A dbus-daemon of the test's own, at the address it is given.
class PrivateBus
{
public:
    explicit PrivateBus(const QString& address)
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {"--session", "--nofork", "--print-address=1", "--address=" + address});
        m_started = m_daemon.waitForReadyRead(10'000);
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    bool started() const { return m_started; }

private:
    QProcess m_daemon;
    bool m_started = false;
};

struct AddressCase {
    const char* name;
    const char* address;
    std::optional<std::string> socket;
};

class BusAddressTest : public testing::TestWithParam<AddressCase>
{
};

TEST_P(BusAddressTest, LeadsToTheFirstLocalSocket)
{
    EXPECT_EQ(BusSocketOf(GetParam().address), GetParam().socket);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, BusAddressTest,
    testing::Values(AddressCase{"Path", "unix:path=/run/user/1000/bus", "/run/user/1000/bus"},
                    AddressCase{"PathAndGuid", "unix:guid=0123abcd,path=/tmp/dbus-X",
                                "/tmp/dbus-X"},
                    AddressCase{"Abstract", "unix:abstract=/tmp/dbus-Y,guid=1",
                                std::string("\0/tmp/dbus-Y", 12)},
                    AddressCase{"Escaped", "unix:path=/tmp/mein%20bus%2c1", "/tmp/mein bus,1"},
                    AddressCase{"SecondEntry", "tcp:host=localhost,port=1;unix:path=/b", "/b"},
                    AddressCase{"BrokenEscape", "unix:path=/tmp/a%2", std::nullopt},
                    AddressCase{"Tcp", "tcp:host=localhost,port=4711", std::nullopt},
                    AddressCase{"Autolaunch", "autolaunch:", std::nullopt},
                    AddressCase{"Empty", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

enum class Listener { Silent, SignsInOnly, Daemon, Nothing };

struct AnswerCase {
    const char* name;
    Listener listener;
    bool abstract;
    BusAnswer answer;
};

class BusAnswerTest : public test::ProcessTest, public testing::WithParamInterface<AnswerCase>
{
};

TEST_P(BusAnswerTest, TheGreetingIsAnsweredOnlyByALiveBus)
{
    const AnswerCase& c = GetParam();
    const std::string name = c.abstract ? std::string(1, '\0') + path("bus") : path("bus");
    const QString address = QString::fromStdString((c.abstract ? "unix:abstract=" : "unix:path=") +
                                                   name.substr(c.abstract ? 1 : 0));
    std::optional<SilentSocket> silent;
    std::optional<PrivateBus> daemon;
    if (c.listener == Listener::Silent || c.listener == Listener::SignsInOnly) {
        silent.emplace(name, c.listener == Listener::SignsInOnly);
        ASSERT_TRUE(silent->listening());
    }
    if (c.listener == Listener::Daemon) {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (package dbus)";
        daemon.emplace(address);
        ASSERT_TRUE(daemon->started());
    }
    HangGuard guard(30s);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(AskBus(*BusSocketOf(address.toStdString()), 2000ms), c.answer);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 3000ms);
    if (c.listener == Listener::SignsInOnly) {
        EXPECT_TRUE(silent->greeted()) << "the greeting call did not come";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Buses, BusAnswerTest,
    testing::Values(AnswerCase{"Silent", Listener::Silent, false, BusAnswer::Silent},
                    AnswerCase{"SignsInOnly", Listener::SignsInOnly, false, BusAnswer::Silent},
                    AnswerCase{"SignsInOnlyAbstract", Listener::SignsInOnly, true,
                               BusAnswer::Silent},
                    AnswerCase{"Daemon", Listener::Daemon, false, BusAnswer::Answers},
                    AnswerCase{"DaemonAbstract", Listener::Daemon, true, BusAnswer::Answers},
                    AnswerCase{"Nothing", Listener::Nothing, false, BusAnswer::Absent}),
    [](const auto& info) { return std::string(info.param.name); });

using SettleTest = test::ProcessTest;

// Settled before Qt starts: only a bus that answers is left in the environment. Without one,
// with a silent one or one that would be started for the program alone, the address fails at
// once, so nothing starts a daemon that outlives the window; the user's socket is named.
TEST_F(SettleTest, OnlyALiveBusIsLeftInTheEnvironment)
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed (package dbus)";
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", runtime); });
    setEnv("XDG_RUNTIME_DIR", dir.path().toStdString()); // its "bus" is the user's socket
    const std::string bus = "unix:path=" + path("bus");
    const struct {
        const char* given; // nullptr: unset
        Listener listener;
        BusAnswer answer;
        std::string after;
    } cases[] = {{nullptr, Listener::Nothing, BusAnswer::Absent, NoBusAddress},
                 {"autolaunch:", Listener::Nothing, BusAnswer::Absent, NoBusAddress},
                 {bus.c_str(), Listener::Silent, BusAnswer::Silent, NoBusAddress},
                 {bus.c_str(), Listener::Daemon, BusAnswer::Answers, bus},
                 {nullptr, Listener::Daemon, BusAnswer::Answers, bus}};
    for (const auto& c : cases) {
        std::optional<SilentSocket> silent;
        std::optional<PrivateBus> daemon;
        if (c.listener == Listener::Silent)
            silent.emplace(path("bus"));
        if (c.listener == Listener::Daemon)
            daemon.emplace(QString::fromStdString(bus));
        if (c.given)
            setEnv("DBUS_SESSION_BUS_ADDRESS", c.given);
        else
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        HangGuard guard(30s);
        EXPECT_EQ(SettleSessionBus(2000ms), c.answer) << (c.given ? c.given : "unset");
        const char* after = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        EXPECT_EQ(after ? after : "unset", c.after) << (c.given ? c.given : "unset");
        std::remove(path("bus").c_str());
    }
}

using SilentBusStart = test::ProcessTest;

// With the session bus silent the program says so, the window appears, reaches for the
// desktop after its first paint, runs a transcode from start to end, and closes.
TEST_F(SilentBusStart, TheWindowStartsRunsAndEndsWithoutTheBus)
{
    const SilentSocket silent(path("bus"));
    ASSERT_TRUE(silent.listening());
    setEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path("bus"));
    HangGuard guard(60s);

    EXPECT_EQ(SettleSessionBus(60ms), BusAnswer::Silent);
    EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), NoBusAddress);

    QtSettingsBackend backend;
    SettingsStore settings{backend, [] { return std::string("Klangdorn_silent_bus"); }};
    settings.saveText(SettingKey::Besweet, FAKE_TRANSCODER);
    test::FakeMessageBoxes messages;
    test::FakeFileDialog dialog;
    test::FakeStacking stacking;
    {
        frmMain window(settings, messages, dialog, stacking);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(0); // the step after the first paint: the desktop is reached for
        window.findChild<QLineEdit*>("txtInputFile")
            ->setText(QString::fromStdString(path("a.wav")));
        window.findChild<QLineEdit*>("txtOutputFile")
            ->setText(QString::fromStdString(path("a.ac3")));
        setEnv("FAKE_SAY", "Geliefert: 0:01.0, -23.0 LUFS, LRA 1.0 LU, -2.0 dBTP");
        setEnv("FAKE_WRITE_TARGET", "1");
        window.cmdTranscode_Click();
        EXPECT_TRUE(childRanToItsEnd());
        EXPECT_TRUE(exists(path("a.ac3")));
        EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
        window.close();
    }
}

} // namespace
