// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FontSystemWarmUp.h"

#if KLANGDORN_HAS_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace klangdorn
{

FontSystemWarmUp::FontSystemWarmUp()
{
#if KLANGDORN_HAS_FONTCONFIG
    // Loads the configuration once for the process; Qt's own call then finds it loaded.
    m_starting = std::thread([] { FcInit(); });
#endif
}

FontSystemWarmUp::~FontSystemWarmUp()
{
    finish();
}

void FontSystemWarmUp::finish()
{
    if (m_starting.joinable())
        m_starting.join();
}

} // namespace klangdorn
