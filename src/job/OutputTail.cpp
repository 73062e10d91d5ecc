// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/OutputTail.h"

#include <algorithm>
#include <vector>

namespace klangdorn
{

namespace
{

constexpr std::string_view OwnLinePrefix = "besweet: ";

bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string_view trimmedRight(std::string_view line)
{
    const auto end = line.find_last_not_of(" \t\r");
    return end == std::string_view::npos ? std::string_view() : line.substr(0, end + 1);
}

bool isWarning(std::string_view line)
{
    return line.starts_with(WarningPrefix);
}

std::vector<std::string_view> shownLines(std::string_view output)
{
    std::vector<std::string_view> lines;
    ForEachShownLine(output, [&](std::string_view line) {
        line = trimmedRight(line);
        if (line.find_first_not_of(" \t") != std::string_view::npos)
            lines.push_back(line);
    });
    return lines;
}

} // namespace

void OutputTail::append(std::string_view bytes)
{
    collectWarnings(bytes);
    if (bytes.size() >= Capacity) {
        m_dropped = m_dropped || !m_kept.empty() || bytes.size() > Capacity;
        m_kept.assign(bytes.substr(bytes.size() - Capacity));
        return;
    }
    m_kept.append(bytes);
    if (m_kept.size() > Capacity) {
        m_kept.erase(0, m_kept.size() - Capacity);
        m_dropped = true;
    }
}

void OutputTail::collectWarnings(std::string_view bytes)
{
    struct Reader {
        OutputTail& tail;
        void text(std::string_view part)
        {
            const std::size_t longest = WarningPrefix.size() + LongestWarning;
            std::string& line = tail.m_lineStart;
            line.append(part.substr(0, longest - std::min(longest, line.size())));
        }
        void restart() { tail.m_lineStart.clear(); }
        void end() { tail.endLine(); }
    } reader{*this};
    m_lines.feed(bytes, reader);
}

void OutputTail::endLine()
{
    const std::string_view line = trimmedRight(m_lineStart);
    if (isWarning(line) && m_warnings.size() < MostWarnings)
        m_warnings.emplace_back(line.substr(WarningPrefix.size()));
    m_lineStart.clear();
}

std::vector<std::string> OutputTail::warnings() const
{
    std::vector<std::string> all = m_warnings;
    if (const std::string_view last = trimmedRight(m_lineStart);
        isWarning(last) && all.size() < MostWarnings)
        all.emplace_back(last.substr(WarningPrefix.size()));
    return all;
}

std::string OutputTail::text() const
{
    if (!m_dropped)
        return m_kept;
    // The first line is cut: it goes, unless nothing but blanks follows it. Then the end of
    // that one over-long line is what the program last said, kept without a cut character.
    std::string_view kept(m_kept);
    const auto firstBreak = kept.find('\n');
    if (firstBreak != std::string_view::npos &&
        kept.find_first_not_of(" \t\r\n", firstBreak) != std::string_view::npos)
        return std::string(kept.substr(firstBreak + 1));
    while (!kept.empty() && isUtf8Continuation(kept.front()))
        kept.remove_prefix(1);
    return std::string(CutLineMark) + std::string(kept);
}

std::string LastWords(std::string_view output, std::size_t maxLines)
{
    auto lines = shownLines(output);
    std::erase_if(lines, isWarning);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->starts_with(OwnLinePrefix))
            return std::string(*it);
    }
    const std::size_t first = lines.size() > maxLines ? lines.size() - maxLines : 0;
    std::string words;
    for (std::size_t i = first; i < lines.size(); ++i) {
        if (!words.empty())
            words += '\n';
        words += lines[i];
    }
    return words;
}

std::vector<std::string> WarningLines(std::string_view output)
{
    std::vector<std::string> warnings;
    for (const std::string_view line : shownLines(output)) {
        if (isWarning(line))
            warnings.emplace_back(line.substr(WarningPrefix.size()));
    }
    return warnings;
}

} // namespace klangdorn
