// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop shows of a run outside the window: the progress on the program's task bar
// entry and a notification. Either does nothing where the desktop offers no such thing.
#pragma once

#include "job/RunNotice.h"

#include <memory>
#include <optional>

namespace klangdorn
{

class DesktopShell
{
public:
    virtual ~DesktopShell() = default;
    // Starts reaching the desktop without waiting for it, once the window has appeared; what
    // is shown before it is reached goes out when it is.
    virtual void reach() {}
    // The share done, 0 to 100; nothing takes the progress off the entry.
    virtual void showProgress(std::optional<int> percent) = 0;
    virtual void notify(const DesktopNotice& notice) = 0;
};

// The shell of the user's desktop session: the session bus where there is one, else one that
// shows nothing. `messages` tells what the user asked of it and it could not do.
std::unique_ptr<DesktopShell> MakeSessionDesktopShell(MessageBoxes& messages);

} // namespace klangdorn
