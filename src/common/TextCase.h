// SPDX-License-Identifier: GPL-3.0-or-later
// Comparing names the way Windows and the settings file do: ASCII letters in any case; and
// the blanks around a value.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace klangdorn
{

constexpr char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string UpperCaseAscii(std::string_view text)
{
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), UpperAscii);
    return upper;
}

// The iterator forms of the algorithms: the ranges ones do not build with every compiler and
// library pair the project is built with (clang 14 with GCC 12's library).
inline bool SameLetterIgnoringCase(char x, char y)
{
    return LowerAscii(x) == LowerAscii(y);
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameLetterIgnoringCase);
}

inline bool EndsWithIgnoringCase(std::string_view text, std::string_view ending)
{
    return text.size() >= ending.size() &&
           EqualsIgnoringCase(text.substr(text.size() - ending.size()), ending);
}

inline bool ContainsIgnoringCase(std::string_view text, std::string_view part)
{
    if (part.empty())
        return true;
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       SameLetterIgnoringCase) != text.end();
}

// text without the characters of `blanks` at either end.
constexpr std::string_view Trimmed(std::string_view text, std::string_view blanks = " \t")
{
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

} // namespace klangdorn
