// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop is told when a run ends unseen, that is while the main window is not the
// active window: a notification that it ended well (naming the target, with the transcoder's
// summary of what it delivered, and offering to open the target's folder) or failed (with the
// reason). Nothing while the window is active: a run that ends in sight ends silently.
#pragma once

#include "job/UserDialogs.h"

#include <optional>
#include <string>

namespace klangdorn
{

struct DesktopNotice {
    std::string summary;
    std::string body;
    std::string folder;   // offered as "Ordner öffnen"; none when empty
    std::string target{}; // shown selected in the folder, when the file manager can
    friend bool operator==(const DesktopNotice&, const DesktopNotice&) = default;
};

// `failure` is the box the run shows for its failure, nothing after a success; `summary` is
// the transcoder's summary line of a good run, empty when it printed none.
std::optional<DesktopNotice> RunEndNotice(bool windowActive, const std::string& target,
                                          const std::optional<Message>& failure,
                                          const std::string& summary = {});

// The action of a notification that opens the target's folder, and its label.
inline constexpr const char* OpenFolderAction = "ordner-oeffnen";
inline constexpr const char* OpenFolderLabel = "Ordner öffnen";

// Told when a run has ended, before any box about it is shown.
class RunEndObserver
{
public:
    virtual ~RunEndObserver() = default;
    virtual void runEnded(const std::string& target, const std::optional<Message>& failure) = 0;
};

} // namespace klangdorn
