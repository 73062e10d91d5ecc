// SPDX-License-Identifier: GPL-3.0-or-later
// The font system's own start (fontconfig reads its configuration and font caches, the
// greatest single cost of the window's first paint) begun on a thread of its own while Qt
// starts, so the two overlap. Once Qt's application exists, the same thread can go on to
// fill Qt's font database, while the window's thread asks the started font system for the
// family it wants; the window waits for both before it needs its first font.
#pragma once

#include <functional>
#include <future>
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

    // Hands the thread `step`, run once the font system has started; at most one, given on
    // the thread that made this. Without one the thread ends after the start.
    void thenRun(std::function<void()> step);

    // Waits until the font system has started, not for the step: fontconfig may be asked
    // from then on, on any thread.
    void awaitStart() const;

    // Waits until the font system has started and the step has run; call before the first
    // font is looked up, so Qt does not start the font system a second time alongside.
    void finish();

private:
    std::promise<void> m_startDone;
    std::shared_future<void> m_started = m_startDone.get_future().share();
    std::promise<std::function<void()>> m_next;
    bool m_nextGiven = false;
    std::thread m_starting;
};

} // namespace klangdorn
