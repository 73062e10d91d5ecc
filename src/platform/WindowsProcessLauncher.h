// SPDX-License-Identifier: GPL-3.0-or-later
// Starting the transcoder on Windows: CreateProcessW with the program path as application
// name and the quoted command line, in a console of its own that is shown normally or
// hidden. The wait sleeps on the process handle and the thread's messages together and
// hands every wake-up to the window's event handling. Free of Qt: the event handling is
// passed in.
#pragma once

#include "job/ProcessControl.h"

#include <functional>
#include <string>

namespace klangdorn
{

class WindowsProcessLauncher final : public ProcessLauncher
{
public:
    // `handlePendingEvents` handles the window's pending events without waiting.
    explicit WindowsProcessLauncher(std::function<void()> handlePendingEvents)
        : m_handlePendingEvents(std::move(handlePendingEvents))
    {
    }

    std::unique_ptr<RunningProcess> launch(const std::vector<std::string>& arguments,
                                           const std::string& commandLine,
                                           bool showWindow) override;
    ProcessEnd fAppControl(RunningProcess& process) override;

private:
    std::function<void()> m_handlePendingEvents;
};

// UTF-8 to UTF-16 and back, for the wide Windows functions.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

} // namespace klangdorn
