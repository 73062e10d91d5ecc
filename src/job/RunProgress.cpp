// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RunProgress.h"

#include "common/RunSummary.h"
#include "common/TextCase.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>

namespace klangdorn
{

namespace
{

// A line longer than this is no progress line; what is kept of it stays bounded.
constexpr std::size_t LongestLine = 512;

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::optional<int> numberAt(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The percentage at the end of the line: digits, maybe blanks, then "%".
std::optional<int> trailingPercent(std::string_view line)
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

struct Pass {
    int number;
    int count;
};

// "k/n" before the first colon, as in "Pass 2/2: encoding"; the word before it may be in any
// language.
std::optional<Pass> passOf(std::string_view line)
{
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view head = line.substr(0, colon);
    const auto slash = head.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return std::nullopt;
    auto start = head.find_last_not_of("0123456789", slash - 1);
    start = start == std::string_view::npos ? 0 : start + 1;
    const auto number = numberAt(head.substr(start, slash - start));
    const auto count = numberAt(head.substr(slash + 1));
    if (!number || !count || *count < 1 || *number < 1 || *number > *count)
        return std::nullopt;
    return Pass{*number, *count};
}

} // namespace

std::optional<int> RunPercentOf(std::string_view line)
{
    line = Trimmed(line, " \t\r");
    const auto percent = trailingPercent(line);
    if (!percent)
        return std::nullopt;
    const auto pass = passOf(line);
    if (!pass)
        return percent;
    return ((pass->number - 1) * 100 + *percent) / pass->count;
}

bool RunProgress::append(std::string_view bytes)
{
    bool changed = false;
    // A line ends with a line feed, or is rewritten after a carriage return.
    while (!bytes.empty()) {
        const auto end = bytes.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            m_partialLine.append(
                bytes.substr(0, LongestLine - std::min(LongestLine, m_partialLine.size())));
            break;
        }
        m_partialLine.append(bytes.substr(0, std::min(end, LongestLine)));
        changed = takeLine(m_partialLine) || changed;
        m_partialLine.clear();
        bytes.remove_prefix(end + 1);
    }
    return changed;
}

bool RunProgress::takeLine(std::string_view line)
{
    if (std::string summary = RunSummaryOf(line); !summary.empty())
        m_summary = std::move(summary);
    const auto percent = RunPercentOf(line);
    if (!percent || percent == m_percent)
        return false;
    m_percent = percent;
    return true;
}

void RunProgress::reset()
{
    m_partialLine.clear();
    m_percent.reset();
    m_summary.clear();
}

std::string PercentText(int percent)
{
    return std::to_string(percent) + " %";
}

} // namespace klangdorn
