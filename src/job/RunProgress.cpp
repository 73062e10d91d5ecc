// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RunProgress.h"

#include "common/RunSummary.h"

#include <algorithm>
#include <utility>

namespace klangdorn
{

namespace
{

// A line longer than this is no progress line; what is kept of it stays bounded.
constexpr std::size_t LongestLine = 512;

} // namespace

std::optional<int> RunPercentOf(std::string_view line)
{
    return RunShare().take(line);
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
    const auto before = m_share.percent();
    const auto percent = m_share.take(line);
    return percent && percent != before;
}

void RunProgress::reset()
{
    m_partialLine.clear();
    m_share.reset();
    m_summary.clear();
}

std::string PercentText(int percent)
{
    return std::to_string(percent) + " %";
}

} // namespace klangdorn
