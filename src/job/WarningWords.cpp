// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/WarningWords.h"

#include <cctype>
#include <optional>

namespace klangdorn
{

namespace
{

constexpr std::string_view ClauseStart = ": ";

bool isOptionEnd(std::string_view text, std::size_t at)
{
    return at >= text.size() || text[at] == ' ' || text[at] == '(' || text[at] == ')';
}

// Where the option stands as a word of its own ("-b 640", "-ssrc( --rate"), not inside
// another one ("--bitrate", "-bx").
std::optional<std::size_t> optionAt(std::string_view warning, std::string_view fragment)
{
    for (auto at = warning.find(fragment); at != std::string_view::npos;
         at = warning.find(fragment, at + 1)) {
        const bool startsWord =
            at == 0 || warning[at - 1] == ' ' || warning[at - 1] == '(' || warning[at - 1] == '\'';
        const auto end = at + fragment.size();
        const bool endsWord =
            fragment.ends_with('(') || isOptionEnd(warning, end) || warning[end] == '\'';
        if (startsWord && endsWord)
            return at;
    }
    return std::nullopt;
}

// The end of the clause that holds position `from`: the first parenthesis closed that was
// opened before the clause, else the end of the text.
std::size_t clauseEnd(std::string_view text, std::size_t from)
{
    int depth = 0;
    for (std::size_t at = from; at < text.size(); ++at) {
        if (text[at] == '(')
            ++depth;
        else if (text[at] == ')' && --depth < 0)
            return at;
    }
    return text.size();
}

} // namespace

std::string InWindowWords(std::string_view warning)
{
    for (const WarningMend& row : warningMends) {
        const auto option = optionAt(warning, row.fragment);
        if (!option)
            continue;
        const auto clause = warning.rfind(ClauseStart, *option);
        if (clause == std::string_view::npos)
            continue;
        const auto start = clause + ClauseStart.size();
        const auto end = clauseEnd(warning, *option);
        return std::string(warning.substr(0, start)) + std::string(row.mend) +
               std::string(warning.substr(end));
    }
    return std::string(warning);
}

} // namespace klangdorn
