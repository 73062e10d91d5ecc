// SPDX-License-Identifier: GPL-3.0-or-later
// What a good run of the bundled transcoder delivered, said in one line on its standard output
// at the end, such as "Geliefert: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP" (the true peak only
// of a track it decoded, which is one that may clip). The lead word is
// in the user's language; the units are the same in every language, so the window finds the
// line whatever language the transcoder spoke.
#pragma once

#include <string>
#include <string_view>

namespace klangdorn
{

inline constexpr std::string_view SummaryLoudnessUnit = " LUFS";
inline constexpr std::string_view SummaryRangeUnit = " LU";
inline constexpr std::string_view SummaryTruePeakUnit = " dBTP";

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
    while (!output.empty()) {
        const auto end = output.find('\n');
        std::string_view line = output.substr(0, end);
        output = end == std::string_view::npos ? std::string_view{} : output.substr(end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (const auto cr = line.rfind('\r'); cr != std::string_view::npos)
            line.remove_prefix(cr + 1);
        if (IsRunSummaryLine(line))
            found.assign(line);
    }
    return found;
}

} // namespace klangdorn
