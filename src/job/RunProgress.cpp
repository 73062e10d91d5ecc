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
    // A line counts once it ends, or as it stands at a carriage return: it is rewritten then.
    struct Reader {
        RunProgress& progress;
        bool changed = false;
        void text(std::string_view part)
        {
            std::string& line = progress.m_partialLine;
            line.append(part.substr(0, LongestLine - std::min(LongestLine, line.size())));
            progress.m_lineTaken = false;
        }
        void returned() { take(); }
        void restart() { progress.m_partialLine.clear(); }
        void end()
        {
            take();
            progress.m_partialLine.clear();
            progress.m_lineTaken = false;
        }
        void take()
        {
            if (!std::exchange(progress.m_lineTaken, true))
                changed = progress.takeLine(progress.m_partialLine) || changed;
        }
    } reader{*this};
    m_lines.feed(bytes, reader);
    return reader.changed;
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
    m_lineTaken = false;
    m_lines.reset();
    m_share.reset();
    m_summary.clear();
}

std::string PercentText(int percent)
{
    return std::to_string(percent) + " %";
}

} // namespace klangdorn
