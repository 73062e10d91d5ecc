// SPDX-License-Identifier: GPL-3.0-or-later
// How far the transcoder has come, read from its output as it arrives: the bundled transcoder
// writes lines such as "Pass 2/2: encoding 40%" (common/ProgressLine.h). A run of several passes
// counts as one whole, whose percentage never goes back.
#pragma once

#include "common/LineSplitter.h"
#include "common/ProgressLine.h"

#include <optional>
#include <string>
#include <string_view>

namespace klangdorn
{

// The share of the whole run in percent that one output line tells on its own; nothing for a
// line without a trailing percentage. "Pass k/n: ... p%" counts the passes before it as done.
std::optional<int> RunPercentOf(std::string_view line);

class RunProgress
{
public:
    // Output bytes as they come; true when the percentage changed.
    bool append(std::string_view bytes);
    // The latest percentage; nothing before the first one.
    std::optional<int> percent() const { return m_share.percent(); }
    // The pass the latest percentage belongs to.
    int pass() const { return m_share.pass(); }
    // The last summary line of what the run delivered so far; empty before one.
    const std::string& summary() const { return m_summary; }
    void reset();

private:
    bool takeLine(std::string_view line);
    LineSplitter m_lines;
    std::string m_partialLine;
    bool m_lineTaken = false; // the line as it stands was taken at a carriage return
    RunShare m_share;
    std::string m_summary;
};

// The text the wait box offers for a percentage: "42 %".
std::string PercentText(int percent);

} // namespace klangdorn
