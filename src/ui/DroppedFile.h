// SPDX-License-Identifier: GPL-3.0-or-later
// A file dropped on the window: the one local file a drag carries, taken as a copy or a link.
#pragma once

#include <optional>
#include <string>

class QDropEvent;
class QMimeData;

namespace klangdorn
{

// The one local file that a drag carries first, in the platform's own spelling; nothing
// for a folder, a URL of another kind or text without a URL.
[[nodiscard]] std::optional<std::string> draggedFile(const QMimeData* data);

// Takes the drop as a copy or a link, never as a move, which would let the file manager
// delete the dropped file. False when the drag offers neither.
bool acceptWithoutMoving(QDropEvent& event);

} // namespace klangdorn
