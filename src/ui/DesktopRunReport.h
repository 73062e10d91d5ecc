// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop learns of a run: the percentage the transcoder prints goes onto the task
// bar entry and into the wait box, there with the time left (tool tip, accessible value and
// description); after a good run the box tells its summary until the next run starts. A run
// that ends while neither the main window nor one of its own (the console) is the active window
// ends with a notification, which carries its first warning and the summary of a good run.
#pragma once

#include "job/RemainingTime.h"
#include "job/RunNotice.h"
#include "job/RunProgress.h"
#include "platform/DesktopShell.h"
#include "platform/ProcessOutputView.h"

#include <functional>

class QWidget;

namespace klangdorn
{

class WaitBarBox;

class DesktopRunReport final : public ProcessOutputView, public RunEndObserver
{
public:
    // `waitBox` is asked for when there is something to show, as it is made after this.
    DesktopRunReport(QWidget& window, std::function<WaitBarBox*()> waitBox, DesktopShell& shell,
                     SteadyClock clock = std::chrono::steady_clock::now);

    void startOutput() override;
    void appendOutput(std::string_view bytes) override;
    void finishOutput() override;
    void runEnded(const std::string& target, const std::optional<Message>& failure,
                  const std::vector<std::string>& warnings) override;

private:
    void show(std::optional<int> percent);
    void tellInBox(std::optional<int> percent, const std::string& words);
    bool windowInSight() const;

    QWidget& m_window;
    std::function<WaitBarBox*()> m_waitBox;
    DesktopShell& m_shell;
    RunProgress m_progress;
    RemainingTime m_remaining;
    std::string m_summary; // of the run whose output has ended
};

} // namespace klangdorn
