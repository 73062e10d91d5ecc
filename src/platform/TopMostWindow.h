// SPDX-License-Identifier: GPL-3.0-or-later
// The real window stacking: Windows' SetWindowPos, elsewhere Qt's stays-on-top hint handed
// to the existing native window (on X11 the window manager's _NET_WM_STATE_ABOVE).
#pragma once

#include "platform/WindowStacking.h"

namespace klangdorn
{

class TopMostWindow final : public WindowStacking
{
public:
    void setTopMost(QWidget& window, bool topMost) override;
};

} // namespace klangdorn
