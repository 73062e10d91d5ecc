// SPDX-License-Identifier: GPL-3.0-or-later
// The end of what the transcoder wrote, kept in a few kilobytes however much it prints, so a
// failed run can say what the transcoder last said.
#pragma once

#include "common/LineSplitter.h"
#include "common/WarningLine.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace klangdorn
{

// Stands before the kept end of a line whose start was dropped.
inline constexpr std::string_view CutLineMark = "…";

class OutputTail
{
public:
    static constexpr std::size_t Capacity = 4096;

    void append(std::string_view bytes);
    // The kept bytes; when older output was dropped, from the first whole line on, or the
    // end of one over-long last line behind "…".
    std::string text() const;
    std::size_t keptBytes() const { return m_kept.size(); }
    // Every warning of the bundled transcoder's form, however long ago it was written, each
    // without its prefix, the unfinished last line too; a rewritten line counts with its last
    // form. At most MostWarnings,
    // each cut to LongestWarning bytes.
    std::vector<std::string> warnings() const;

    static constexpr std::size_t MostWarnings = 100;
    static constexpr std::size_t LongestWarning = 1024;

private:
    void collectWarnings(std::string_view bytes);
    void endLine();

    std::string m_kept;
    bool m_dropped = false;
    std::string m_lineStart; // the current line's first bytes, enough to tell a warning
    LineSplitter m_lines;
    std::vector<std::string> m_warnings;
};

// What a failed run's message adds from the transcoder's output: the last line of the bundled
// transcoder's own "besweet: ..." form when there is one, else the last `maxLines` lines that
// are not empty. Warnings never count: they did not end the run. A line rewritten with a
// carriage return counts with its last form. Empty when the output holds nothing else.
std::string LastWords(std::string_view output, std::size_t maxLines = 5);

// The bundled transcoder's warnings in the order written, each without its prefix.
std::vector<std::string> WarningLines(std::string_view output);

} // namespace klangdorn
