// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DesktopRunReport.h"

#include "ui/WaitBarBox.h"

#include <QApplication>
#include <QWidget>
#include <utility>

namespace klangdorn
{

DesktopRunReport::DesktopRunReport(QWidget& window, std::function<WaitBarBox*()> waitBox,
                                   DesktopShell& shell)
    : m_window(window), m_waitBox(std::move(waitBox)), m_shell(shell)
{
}

void DesktopRunReport::startOutput()
{
    m_progress.reset();
    m_summary.clear();
}

void DesktopRunReport::appendOutput(std::string_view bytes)
{
    if (m_progress.append(bytes))
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

void DesktopRunReport::runEnded(const std::string& target, const std::optional<Message>& failure)
{
    if (const auto notice = RunEndNotice(windowInSight(), target, failure, m_summary))
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
    if (WaitBarBox* box = m_waitBox())
        box->showPercent(percent);
}

} // namespace klangdorn
