// SPDX-License-Identifier: GPL-3.0-or-later
// The wait indicator: a square that slides to and fro in its box, one blank-width per tick.
// Position and step belong to the window for its whole life and carry over between runs.
#pragma once

#include "job/WaitBarSurface.h"

#include <cstdint>
#include <string>

namespace klangdorn
{

class WaitIndicator
{
public:
    // The window's load sets the step to 1 (moving right).
    void setStep(std::int16_t step) { m_step = step; }

    // One tick of tmrProgress: move, turn at the edges, clear the box and draw the square.
    void tick(WaitBarSurface& surface);

    std::int16_t position() const { return m_position; }
    std::int16_t step() const { return m_step; }

    // Blanks for the position, then "n " (the n draws as the square).
    static std::string indicatorText(std::int16_t position);

private:
    void advance();
    void turnAtRightEdge(const WaitBarSurface& surface, const std::string& text);

    std::int16_t m_position = 0;
    std::int16_t m_step = 0;
};

} // namespace klangdorn
