// SPDX-License-Identifier: GPL-3.0-or-later
// Starts and waits through another launcher, and frames each run in the console: emptied
// before the start, the end written last.
#pragma once

#include "job/ProcessControl.h"

namespace klangdorn
{

// The console as the frame of a run sees it.
class RunFrameView
{
public:
    virtual ~RunFrameView() = default;
    // A run begins, shown or not: nothing of an earlier run stays.
    virtual void clearForNewRun() = 0;
    // The last line: the exit code or the signal that ended the run.
    virtual void showRunEnd(const ProcessEnd& end) = 0;
};

class ConsoleFramedLauncher : public ProcessLauncher
{
public:
    ConsoleFramedLauncher(ProcessLauncher& launcher, RunFrameView& console)
        : m_launcher(launcher), m_console(console)
    {
    }
    std::unique_ptr<RunningProcess> launch(const std::vector<std::string>& arguments,
                                           const std::string& commandLine, bool showWindow) override
    {
        m_console.clearForNewRun();
        return m_launcher.launch(arguments, commandLine, showWindow);
    }
    ProcessEnd fAppControl(RunningProcess& process) override
    {
        const ProcessEnd end = m_launcher.fAppControl(process);
        m_console.showRunEnd(end);
        return end;
    }

private:
    ProcessLauncher& m_launcher;
    RunFrameView& m_console;
};

} // namespace klangdorn
