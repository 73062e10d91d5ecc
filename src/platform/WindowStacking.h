// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping a window above all others, behind an interface so the window's tests can record it.
#pragma once

class QWidget;

namespace klangdorn
{

class WindowStacking
{
public:
    virtual ~WindowStacking() = default;
    // Puts the window into the group of top-most windows or takes it out of it; its
    // position, size and native window stay as they are.
    virtual void setTopMost(QWidget& window, bool topMost) = 0;
};

} // namespace klangdorn
