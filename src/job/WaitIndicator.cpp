// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/WaitIndicator.h"

namespace klangdorn
{

std::string WaitIndicator::indicatorText(std::int16_t position)
{
    return std::string(position > 0 ? static_cast<std::size_t>(position) : 0, ' ') + "n ";
}

void WaitIndicator::advance()
{
    m_position = static_cast<std::int16_t>(m_position + m_step);
    if (m_position < 0) {
        m_position = 1;
        m_step = static_cast<std::int16_t>(-m_step);
    }
}

// The square is still drawn at this position; the reversal shows from the next tick on.
void WaitIndicator::turnAtRightEdge(const WaitBarSurface& surface, const std::string& text)
{
    if (surface.textWidth(text) >= surface.outerWidth())
        m_step = static_cast<std::int16_t>(-m_step);
}

void WaitIndicator::tick(WaitBarSurface& surface)
{
    advance();
    const std::string text = indicatorText(m_position);
    turnAtRightEdge(surface, text);
    surface.clear();
    surface.drawText(0, surface.outerHeight() / 2 - surface.textHeight(text) / 2, text);
}

} // namespace klangdorn
