// SPDX-License-Identifier: GPL-3.0-or-later
// What the bundled transcoder tells the window on its output, written and read here only: its
// progress lines, "Pass 2/2: encoding 40%" (the label in the user's
// language, the pass "k/n" before its first colon and the percentage at the end in any), and the
// whole run's percentage a reader makes of them.
#pragma once

#include "common/TextCase.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace klangdorn
{

// A progress line as written into a pipe; on a terminal the number takes three places, so the
// line rewritten in place keeps its length.
inline std::string ProgressLineText(std::string_view label, int percent, bool padded = false)
{
    std::string number = std::to_string(percent);
    if (padded && number.size() < 3)
        number.insert(0, 3 - number.size(), ' ');
    return std::string(label) + ' ' + number + '%';
}

namespace progress_line
{

inline std::optional<int> numberAt(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

constexpr bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The percentage at the end of the line: digits, maybe blanks, then "%".
inline std::optional<int> trailingPercent(std::string_view line)
{
    if (line.empty() || line.back() != '%')
        return std::nullopt;
    line.remove_suffix(1);
    line = Trimmed(line, " \t\r");
    std::size_t digits = 0;
    while (digits < line.size() && isDigit(line[line.size() - 1 - digits]))
        ++digits;
    if (digits == 0 || digits > 3)
        return std::nullopt;
    const auto value = numberAt(line.substr(line.size() - digits));
    if (!value || *value > 100)
        return std::nullopt;
    return value;
}

} // namespace progress_line

struct ProgressReading {
    int pass = 1;   // k of "k/n"; 1 of 1 for a line without
    int passes = 1; // n
    int percent = 0;
};

// The pass and its percentage that a line tells; nothing for a line without a trailing
// percentage. The word before "k/n" may be in any language.
inline std::optional<ProgressReading> ReadProgressLine(std::string_view line)
{
    line = Trimmed(line, " \t\r");
    const auto percent = progress_line::trailingPercent(line);
    if (!percent)
        return std::nullopt;
    const auto head = line.substr(0, line.find(':'));
    const auto slash = head.rfind('/');
    if (head.size() == line.size() || slash == std::string_view::npos || slash == 0)
        return ProgressReading{1, 1, *percent};
    auto start = head.find_last_not_of("0123456789", slash - 1);
    start = start == std::string_view::npos ? 0 : start + 1;
    const auto pass = progress_line::numberAt(head.substr(start, slash - start));
    const auto passes = progress_line::numberAt(head.substr(slash + 1));
    if (!pass || !passes || *passes < 1 || *pass < 1 || *pass > *passes)
        return ProgressReading{1, 1, *percent};
    return ProgressReading{*pass, *passes, *percent};
}

// The whole run's percentage, line by line. Passes counted so far share the run evenly; a pass
// added later (an encode again, "Pass 3/3" after "Pass 2/2") shares with those after it what is
// left, so what was done stays done and the percentage never goes back.
class RunShare
{
public:
    // The whole run's percentage after the line; nothing for a line that tells none.
    std::optional<int> take(std::string_view line)
    {
        const auto reading = ReadProgressLine(line);
        if (!reading)
            return std::nullopt;
        if (reading->passes > m_passes) {
            // The passes from this one on are new: they share what is left.
            m_done = m_percent.value_or(0);
            m_firstPass = m_percent ? std::min(reading->pass, reading->passes) : 1;
            m_passes = reading->passes;
        }
        const int share = std::max(1, m_passes - m_firstPass + 1);
        const int into = std::clamp(reading->pass - m_firstPass, 0, share - 1);
        const int whole = m_done + (100 - m_done) * (into * 100 + reading->percent) / (share * 100);
        m_percent = std::max(m_percent.value_or(0), whole);
        m_pass = reading->pass;
        return m_percent;
    }

    [[nodiscard]] std::optional<int> percent() const { return m_percent; }
    // The pass of the latest line that told a percentage; 1 before one.
    [[nodiscard]] int pass() const { return m_pass; }

    void reset() { *this = RunShare(); }

private:
    int m_passes = 0;
    int m_firstPass = 1;
    int m_done = 0;
    int m_pass = 1;
    std::optional<int> m_percent;
};

} // namespace klangdorn
