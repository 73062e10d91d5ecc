// SPDX-License-Identifier: GPL-3.0-or-later
// The window system reached without a crash: while the application object is built, a window
// system that cannot be reached (no display, one that refuses) ends the program with one
// German line and exit code 2 instead of the toolkit's abort; the toolkit's own messages of
// that time are held and passed on only when the start succeeds.
#pragma once

#include <QtGlobal>
#include <string>

namespace klangdorn
{

// Exit code when the window system cannot be reached.
inline constexpr int NoWindowSystem = 2;

// The line told on standard error, with its line end.
std::string NoWindowSystemText(const std::string& program);

class WindowSystemStart
{
public:
    // From now on until reached(), or until destroyed.
    explicit WindowSystemStart(std::string program);
    ~WindowSystemStart();
    WindowSystemStart(const WindowSystemStart&) = delete;
    WindowSystemStart& operator=(const WindowSystemStart&) = delete;

    // The application object stands: the held messages go out as they would have.
    void reached();

private:
    QtMessageHandler m_previous = nullptr;
    bool m_watching = false;
};

} // namespace klangdorn
