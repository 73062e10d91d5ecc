// SPDX-License-Identifier: GPL-3.0-or-later
// What a good run of the bundled transcoder delivered, said in one line on its standard output
// at the end, such as "Geliefert: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP" (the true peak only
// of a track it decoded, which is one that may clip). The lead word is
// in the user's language; the units are the same in every language, so the window finds the
// line whatever language the transcoder spoke.
#pragma once

#include "common/LineSplitter.h"

#include <optional>
#include <string>
#include <string_view>

namespace klangdorn
{

inline constexpr std::string_view SummaryLoudnessUnit = " LUFS";
inline constexpr std::string_view SummaryRangeLabel = "LRA ";
inline constexpr std::string_view SummaryRangeUnit = " LU";
inline constexpr std::string_view SummaryTruePeakUnit = " dBTP";
inline constexpr std::string_view SummarySeparator = ", ";

// What follows the lead word, as the transcoder writes it: "3:25.4, -23.1 LUFS, LRA 6.2 LU" and,
// with a true peak, ", -1.3 dBTP" after it. The figures come written already.
inline std::string RunSummaryFigures(std::string_view length, std::string_view loudness,
                                     std::string_view range,
                                     std::optional<std::string_view> truePeak)
{
    std::string figures{length};
    figures.append(SummarySeparator).append(loudness).append(SummaryLoudnessUnit);
    figures.append(SummarySeparator).append(SummaryRangeLabel).append(range);
    figures.append(SummaryRangeUnit);
    if (truePeak)
        figures.append(SummarySeparator).append(*truePeak).append(SummaryTruePeakUnit);
    return figures;
}

// A summary line carries the loudness with its unit, then the true peak with its unit, or, for
// a track the transcoder did not decode, ends with the loudness range's unit.
constexpr bool IsRunSummaryLine(std::string_view line)
{
    return line.find(SummaryLoudnessUnit) != std::string_view::npos &&
           (line.find(SummaryTruePeakUnit) != std::string_view::npos ||
            line.ends_with(SummaryRangeUnit));
}

// The last summary line of a run's output, without its line end; empty when there is none.
// A line rewritten with a carriage return counts with its last form.
inline std::string RunSummaryOf(std::string_view output)
{
    std::string found;
    ForEachShownLine(output, [&](std::string_view line) {
        while (!line.empty() && line.back() == ' ')
            line.remove_suffix(1);
        if (IsRunSummaryLine(line))
            found.assign(line);
    });
    return found;
}

} // namespace klangdorn
