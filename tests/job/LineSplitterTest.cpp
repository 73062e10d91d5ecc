// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/LineSplitter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace klangdorn;

namespace
{

// The lines ended by a line feed, then the unfinished one, as the streaming reader is told.
struct Collected {
    std::vector<std::string> lines{""};
    void text(std::string_view part) { lines.back() += part; }
    void restart() { lines.back().clear(); }
    void end() { lines.emplace_back(); }
};

// Pieces joined, and the lines a terminal shows of them.
const std::pair<std::string, std::vector<std::string>> Outputs[] = {
    {"eins\nzwei\n", {"eins", "zwei", ""}},
    {"eins\nzwei", {"eins", "zwei"}},
    {"eins\r\nzwei\r\n", {"eins", "zwei", ""}},
    {"Kopf\n10%\r20%\r30%\n", {"Kopf", "30%", ""}},
    {"10%\r20%\r", {"20%"}},
    {"a\r\r\nb\r\rc", {"a", "c"}},
    {"\n\r\n\n", {"", "", "", ""}},
};

// Split anywhere into two pieces and into single characters; and as one whole text.
TEST(LineSplitter, SplitsAsATerminalShowsWhereverThePiecesAreCut)
{
    for (const auto& [whole, lines] : Outputs) {
        std::vector<std::vector<std::string>> cuttings{{}};
        for (const char c : whole)
            cuttings.front().emplace_back(1, c);
        for (std::size_t at = 0; at <= whole.size(); ++at)
            cuttings.push_back({whole.substr(0, at), whole.substr(at)});
        for (const auto& pieces : cuttings) {
            LineSplitter splitter;
            Collected read;
            for (const auto& piece : pieces)
                splitter.feed(piece, read);
            EXPECT_EQ(read.lines, lines) << whole << " from " << pieces.front();
        }
        std::vector<std::string> shown;
        ForEachShownLine(std::string_view(whole), [&](auto line) { shown.emplace_back(line); });
        if (lines.back().empty())
            shown.emplace_back(); // the whole text tells an unfinished line only when it shows
        EXPECT_EQ(shown, lines) << whole;
    }
}

} // namespace
