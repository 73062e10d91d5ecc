// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/WarningWords.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <utility>

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

constexpr std::string_view LevelUnit = " dBFS";

// A level in dBFS as the slider's percentage of full scale; a decimal comma counts as a point.
std::optional<int> percentOfFullScale(std::string_view decibels)
{
    std::string number(decibels);
    std::replace(number.begin(), number.end(), ',', '.');
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size() || value > 6.0)
        return std::nullopt;
    return static_cast<int>(std::lround(100.0 * std::pow(10.0, value / 20.0)));
}

// Takes "<number> dBFS" and the word after it from the front of text.
std::optional<int> takeLevel(std::string_view& text, std::string_view word)
{
    const auto unit = text.find(LevelUnit);
    if (unit == std::string_view::npos || text.substr(unit + LevelUnit.size(), word.size()) != word)
        return std::nullopt;
    const auto percent = percentOfFullScale(text.substr(0, unit));
    text.remove_prefix(unit + LevelUnit.size() + word.size());
    return percent;
}

// The window's words for text, from the first row whose words it is, with the count it holds.
template <std::size_t N>
std::optional<std::string> shownFor(const std::array<SaidAndShown, N>& rows, std::string_view text)
{
    for (const SaidAndShown& row : rows) {
        const auto count = row.said.find("%d");
        if (count == std::string_view::npos) {
            if (text == row.said)
                return std::string(row.shown);
            continue;
        }
        const auto head = row.said.substr(0, count);
        const auto tail = row.said.substr(count + 2);
        if (text.size() <= head.size() + tail.size() || !text.starts_with(head) ||
            !text.ends_with(tail))
            continue;
        const auto number = text.substr(head.size(), text.size() - head.size() - tail.size());
        if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const auto shownCount = row.shown.find("%d");
        return std::string(row.shown.substr(0, shownCount)) + std::string(number) +
               std::string(row.shown.substr(shownCount + 2));
    }
    return std::nullopt;
}

// The reason in the window's words; one it does not know stays as the transcoder said it.
std::string reasonInWindowWords(std::string_view reason)
{
    return shownFor(levelReasons, reason).value_or(std::string(reason));
}

std::optional<std::string> levelInWindowWords(std::string_view warning)
{
    for (const LevelWarningForm& form : levelWarningForms) {
        if (!warning.starts_with(form.lead))
            continue;
        std::string_view rest = warning.substr(form.lead.size());
        const auto delivered = takeLevel(rest, form.delivered);
        const auto asked = delivered ? takeLevel(rest, form.asked) : std::nullopt;
        if (!asked)
            continue;
        return "Normalisierungslevel: " + std::to_string(*asked) + " % verlangt, " +
               std::to_string(*delivered) + " % geliefert (" + reasonInWindowWords(rest) + ")";
    }
    return std::nullopt;
}

} // namespace

std::string InWindowWords(std::string_view warning)
{
    if (auto level = levelInWindowWords(warning))
        return std::move(*level);
    if (auto whole = shownFor(wholeWarnings, warning))
        return std::move(*whole);
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
