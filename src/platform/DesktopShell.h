// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop shows of a run outside the window: the progress on the program's task bar
// entry and a notification. Either does nothing where the desktop offers no such thing.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace klangdorn
{

class DesktopShell
{
public:
    virtual ~DesktopShell() = default;
    // The share done, 0 to 100; nothing takes the progress off the entry.
    virtual void showProgress(std::optional<int> percent) = 0;
    virtual void notify(const std::string& summary, const std::string& body) = 0;
};

// The shell of the user's desktop session: the session bus where there is one, else one that
// shows nothing.
std::unique_ptr<DesktopShell> MakeSessionDesktopShell();

} // namespace klangdorn
