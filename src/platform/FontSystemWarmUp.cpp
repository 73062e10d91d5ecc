// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FontSystemWarmUp.h"

#if KLANGDORN_HAS_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace klangdorn
{

FontSystemWarmUp::FontSystemWarmUp()
{
    m_starting = std::thread([this, next = m_next.get_future()]() mutable {
#if KLANGDORN_HAS_FONTCONFIG
        // Loads the configuration once for the process; Qt's own call then finds it loaded.
        FcInit();
#endif
        m_startDone.set_value();
        if (const std::function<void()> step = next.get())
            step();
    });
}

FontSystemWarmUp::~FontSystemWarmUp()
{
    finish();
}

void FontSystemWarmUp::thenRun(std::function<void()> step)
{
    if (m_nextGiven)
        return;
    m_nextGiven = true;
    m_next.set_value(std::move(step));
}

void FontSystemWarmUp::awaitStart() const
{
    m_started.wait();
}

void FontSystemWarmUp::finish()
{
    thenRun({});
    if (m_starting.joinable())
        m_starting.join();
}

} // namespace klangdorn
