// SPDX-License-Identifier: GPL-3.0-or-later
// Comparing names the way Windows and the settings file do: ASCII letters in any case.
#pragma once

#include <algorithm>
#include <cctype>
#include <string_view>

namespace klangdorn
{

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

inline bool EndsWithIgnoringCase(std::string_view text, std::string_view ending)
{
    return text.size() >= ending.size() &&
           EqualsIgnoringCase(text.substr(text.size() - ending.size()), ending);
}

} // namespace klangdorn
