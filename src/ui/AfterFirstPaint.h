// SPDX-License-Identifier: GPL-3.0-or-later
// Work the window can do without while it appears (its icon, reaching the desktop's services)
// is run once the window has been painted the first time and its picture handed on.
#pragma once

#include <functional>

class QWidget;

namespace klangdorn
{

// Runs `step` once, after `window`'s first paint has been delivered, from the event loop.
void RunAfterFirstPaint(QWidget& window, std::function<void()> step);

} // namespace klangdorn
