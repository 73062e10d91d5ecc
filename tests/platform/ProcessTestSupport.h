// SPDX-License-Identifier: GPL-3.0-or-later
// What the tests with real processes share: a temporary folder, the fake transcoder's
// settings in the environment (restored afterwards), and a view that records the output.
#pragma once

#include "job/ProcessControl.h"
#include "platform/ProcessOutputView.h"

#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace klangdorn::test
{

class RecordingView : public ProcessOutputView
{
public:
    std::string bytes;
    int starts = 0;
    int finishes = 0;
    void startOutput() override { ++starts; }
    void appendOutput(std::string_view more) override { bytes.append(more); }
    void finishOutput() override { ++finishes; }
};

class ProcessTest : public testing::Test
{
protected:
    QTemporaryDir dir;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const char* name :
             {"FAKE_RECORD", "FAKE_RELEASE", "FAKE_SLEEP_MS", "FAKE_OUTPUT_BYTES",
              "FAKE_WRITE_TARGET", "FAKE_DONE", "FAKE_STAMP", "FAKE_SIGNAL", "FAKE_EXIT",
              "FAKE_FDS", "FAKE_SAY", "FAKE_IGNORE_TERM", "PATH", "WINEPREFIX", "LC_ALL",
              "LANGUAGE", "LC_MESSAGES", "LANG", "DBUS_SESSION_BUS_ADDRESS"})
            remember(name);
        for (const auto& [name, value] : m_saved) {
            if (name != "PATH" && name != "WINEPREFIX" && name != "LANG" &&
                name != "DBUS_SESSION_BUS_ADDRESS")
                ::unsetenv(name.c_str());
        }
        setEnv("FAKE_RECORD", path("arguments"));
        setEnv("FAKE_DONE", path("done"));
    }

    void TearDown() override
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

    void setEnv(const std::string& name, const std::string& value)
    {
        ::setenv(name.c_str(), value.c_str(), 1);
    }

    std::string path(const std::string& name) const
    {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }

    static bool exists(const std::string& file) { return std::ifstream(file).good(); }
    static void touch(const std::string& file) { std::ofstream(file) << "x"; }

    // The child waits until release() is called.
    void holdChild() { setEnv("FAKE_RELEASE", path("release")); }
    void release() { touch(path("release")); }
    bool childRanToItsEnd() const { return exists(path("done")); }

    std::vector<std::string> recordedArguments() const
    {
        std::ifstream in(path("arguments"), std::ios::binary);
        std::vector<std::string> arguments;
        std::string argument;
        while (std::getline(in, argument, '\0'))
            arguments.push_back(argument);
        return arguments;
    }

    // Kills a child that hangs, so a fault shows as a failure rather than a hung test.
    void guardAgainstHang(const RunningProcess& process, int seconds = 30)
    {
        const auto pid = static_cast<pid_t>(process.processId());
        m_hangGuard.setSingleShot(true);
        QObject::connect(&m_hangGuard, &QTimer::timeout, [this, pid] {
            hangGuardFired = true;
            ::kill(pid, SIGKILL);
        });
        m_hangGuard.start(seconds * 1000);
    }
    bool hangGuardFired = false;
    // Context of the callbacks a test schedules into the wait; they go with the test.
    QObject context;

private:
    void remember(const char* name)
    {
        const char* value = std::getenv(name);
        m_saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::map<std::string, std::optional<std::string>> m_saved;
    QTimer m_hangGuard;
};

} // namespace klangdorn::test
