// SPDX-License-Identifier: GPL-3.0-or-later
// The font system's own start (fontconfig reads its configuration and font caches, the
// greatest single cost of the window's first paint) begun on a thread of its own while Qt
// starts, so the two overlap; the window waits for it before it needs its first font.
#pragma once

#include <thread>

namespace klangdorn
{

class FontSystemWarmUp
{
public:
    FontSystemWarmUp();
    ~FontSystemWarmUp();
    FontSystemWarmUp(const FontSystemWarmUp&) = delete;
    FontSystemWarmUp& operator=(const FontSystemWarmUp&) = delete;

    // Waits until the font system has started; call before the first font is looked up, so
    // Qt does not start it a second time alongside.
    void finish();

private:
    std::thread m_starting;
};

} // namespace klangdorn
