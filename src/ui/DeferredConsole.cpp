// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DeferredConsole.h"

#include "ui/ConsoleWindow.h"

namespace klangdorn
{

ConsoleWindow& DeferredConsole::window()
{
    if (m_window.isNull()) {
        m_window = new ConsoleWindow(&m_owner); // owned by the window
        m_window->setStaysOnTop(m_onTop);
    }
    return *m_window;
}

void DeferredConsole::setStaysOnTop(bool onTop)
{
    m_onTop = onTop;
    if (isMade())
        m_window->setStaysOnTop(onTop);
}

void DeferredConsole::startOutput()
{
    window().startOutput();
}

void DeferredConsole::appendOutput(std::string_view bytes)
{
    window().appendOutput(bytes);
}

void DeferredConsole::finishOutput()
{
    window().finishOutput();
}

void DeferredConsole::clearForNewRun()
{
    window().clearForNewRun();
}

void DeferredConsole::showRunEnd(const ProcessEnd& end)
{
    window().showRunEnd(end);
}

} // namespace klangdorn
