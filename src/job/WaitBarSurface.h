// SPDX-License-Identifier: GPL-3.0-or-later
// What the wait indicator needs of its box: its outer size, text measures in its font,
// clearing it and drawing the indicator text (blanks, then "n " whose "n" shows as a
// filled square of the size of the font's n). All measures in the window's logical pixels.
#pragma once

#include <string>

namespace klangdorn
{

class WaitBarSurface
{
public:
    virtual ~WaitBarSurface() = default;
    virtual int outerWidth() const = 0;
    virtual int outerHeight() const = 0;
    virtual int textWidth(const std::string& text) const = 0;
    virtual int textHeight(const std::string& text) const = 0;
    virtual void clear() = 0;
    // Draws the text with its left edge at x and its top at y.
    virtual void drawText(int x, int y, const std::string& text) = 0;
};

} // namespace klangdorn
