// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DesktopRunReport.h"

#include "ui/WaitBarBox.h"

#include <QApplication>
#include <QWidget>
#include <utility>

namespace klangdorn
{

DesktopRunReport::DesktopRunReport(QWidget& window, std::function<WaitBarBox*()> waitBox,
                                   DesktopShell& shell, SteadyClock clock)
    : m_window(window), m_waitBox(std::move(waitBox)), m_shell(shell), m_remaining(std::move(clock))
{
}

void DesktopRunReport::startOutput()
{
    m_progress.reset();
    m_remaining.start();
    m_summary.clear();
    tellInBox(std::nullopt, {});
}

void DesktopRunReport::appendOutput(std::string_view bytes)
{
    if (!m_progress.append(bytes))
        return;
    m_remaining.take(*m_progress.percent(), m_progress.pass());
    show(m_progress.percent());
}

void DesktopRunReport::finishOutput()
{
    m_progress.append("\n"); // a last line without its line end counts too
    m_summary = m_progress.summary();
    if (m_progress.percent())
        show(std::nullopt);
    m_progress.reset();
}

void DesktopRunReport::runEnded(const std::string& target, const std::optional<Message>& failure,
                                const std::vector<std::string>& warnings)
{
    if (!failure)
        tellInBox(std::nullopt, m_summary);
    if (const auto notice = RunEndNotice(windowInSight(), target, failure, m_summary, warnings))
        m_shell.notify(*notice);
}

// The main window is active, or a window of its own such as the console.
bool DesktopRunReport::windowInSight() const
{
    for (const QWidget* active = QApplication::activeWindow(); active;
         active = active->parentWidget()) {
        if (active == &m_window)
            return true;
    }
    return false;
}

void DesktopRunReport::show(std::optional<int> percent)
{
    m_shell.showProgress(percent);
    tellInBox(percent, percent ? RunningWords(*percent, m_remaining.words()) : std::string());
}

void DesktopRunReport::tellInBox(std::optional<int> percent, const std::string& words)
{
    if (WaitBarBox* box = m_waitBox())
        box->tell(percent, QString::fromStdString(words));
}

} // namespace klangdorn
