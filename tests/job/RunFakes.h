// SPDX-License-Identifier: GPL-3.0-or-later
// Fakes for the transcode run: a window, a launcher and a file system that write what
// happens to them into one journal, so a test can check the order of the steps.
#pragma once

#include "job/FileQuery.h"
#include "job/ProcessControl.h"
#include "job/RuntimeError.h"
#include "job/TranscodeWindow.h"
#include "support/FakeDialogs.h"
#include "support/MemorySettings.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace klangdorn::test
{

using Journal = std::vector<std::string>;

class JournalWindow : public TranscodeWindow
{
public:
    explicit JournalWindow(Journal& journal) : m_journal(journal) {}
    ControlValues controls;
    bool transcodeEnabled = true;
    bool timerEnabled = false;

    ControlValues readControls() const override { return controls; }
    void setTranscodeEnabled(bool enabled) override
    {
        transcodeEnabled = enabled;
        m_journal.push_back(enabled ? "button on" : "button off");
    }
    void setProgressTimerEnabled(bool enabled) override
    {
        timerEnabled = enabled;
        m_journal.push_back(enabled ? "timer on" : "timer off");
    }
    void clearWaitBar() override { m_journal.push_back("clear wait bar"); }

private:
    Journal& m_journal;
};

class JournalMessageBoxes : public FakeMessageBoxes
{
public:
    explicit JournalMessageBoxes(Journal& journal) : m_journal(journal) {}
    MessageAnswer show(const Message& message) override
    {
        m_journal.push_back("message: " + message.caption);
        return FakeMessageBoxes::show(message);
    }

private:
    Journal& m_journal;
};

class JournalFileDialog : public FakeFileDialog
{
public:
    explicit JournalFileDialog(Journal& journal) : m_journal(journal) {}
    bool throwCancel = false; // report a cancel as error 32755 instead of no choice
    std::optional<FileChoice> show(FileDialogMode mode, const FileDialogSettings& settings) override
    {
        m_journal.push_back("file dialog");
        if (throwCancel) {
            shown.push_back({mode, settings});
            throw RuntimeError(ErrorNumber::DialogCancelled);
        }
        return FakeFileDialog::show(mode, settings);
    }

private:
    Journal& m_journal;
};

class FakeProcess : public RunningProcess
{
public:
    FakeProcess(std::optional<std::string> output, Journal& journal, bool endedBeforeStop)
        : m_output(std::move(output)), m_journal(journal), m_endedBeforeStop(endedBeforeStop)
    {
    }
    long long processId() const override { return 4711; }
    std::optional<std::string> lastOutput() const override { return m_output; }
    // Ends of the first stop, as a real one does: a later stop finds it ended.
    bool stop() override
    {
        m_journal.push_back("stop");
        return !std::exchange(m_endedBeforeStop, true);
    }

private:
    std::optional<std::string> m_output;
    Journal& m_journal;
    bool m_endedBeforeStop;
};

class JournalLauncher : public ProcessLauncher
{
public:
    explicit JournalLauncher(Journal& journal) : m_journal(journal) {}
    std::optional<RuntimeError> launchFailure;
    ProcessEnd end = ProcessEnd::exited(0);
    std::function<void()> duringWait; // e.g. the transcoder writing its target
    std::vector<std::string> arguments;
    std::string commandLine;
    std::optional<bool> showWindow;
    std::optional<std::string> output; // what the transcoder wrote, when collected
    bool endsBeforeStop = false;       // a stop comes after the transcoder's own end

    std::unique_ptr<RunningProcess> launch(const std::vector<std::string>& args,
                                           const std::string& line, bool show) override
    {
        m_journal.push_back("launch");
        if (launchFailure)
            throw *launchFailure;
        arguments = args;
        commandLine = line;
        showWindow = show;
        return std::make_unique<FakeProcess>(output, m_journal, endsBeforeStop);
    }
    ProcessEnd fAppControl(RunningProcess&) override
    {
        m_journal.push_back("wait");
        if (duringWait)
            duringWait();
        return end;
    }

private:
    Journal& m_journal;
};

class FakeFiles : public FileQuery
{
public:
    std::set<std::string> existing;
    std::set<std::pair<std::string, std::string>> sameFiles;
    std::map<std::string, FileStamp> stamps;

    // The file is (re)written in place: it exists with a new modification time.
    void write(const std::string& path)
    {
        existing.insert(path);
        ++stamps[path].modified;
    }
    // A new file of the same size and time is renamed over it, as on a coarse clock.
    void replaceWithinTheSameTick(const std::string& path)
    {
        existing.insert(path);
        ++stamps[path].file;
    }
    // Rewritten in place within the same tick to the same size: only the content differs.
    std::set<std::string> recent; // written shortly before now
    std::map<std::string, ContentFingerprint> contents;
    void rewriteInPlaceWithinTheSameTick(const std::string& path) { ++contents[path].hash; }

    bool existsAsFile(const std::string& path) const override { return existing.contains(path); }
    bool isSameFile(const std::string& a, const std::string& b) const override
    {
        return a == b || sameFiles.contains({a, b}) || sameFiles.contains({b, a});
    }
    std::optional<FileStamp> stampOf(const std::string& path) const override
    {
        if (!existing.contains(path))
            return std::nullopt;
        const auto it = stamps.find(path);
        return it == stamps.end() ? FileStamp{} : it->second;
    }
    std::optional<ContentFingerprint> fingerprintOf(const std::string& path) const override
    {
        if (!existing.contains(path))
            return std::nullopt;
        const auto it = contents.find(path);
        return it == contents.end() ? ContentFingerprint{} : it->second;
    }
    bool modifiedNear(const FileStamp& stamp, std::chrono::seconds) const override
    {
        for (const auto& path : recent) {
            if (stampOf(path) == stamp)
                return true;
        }
        return false;
    }
};

} // namespace klangdorn::test
