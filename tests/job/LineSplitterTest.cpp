// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/LineSplitter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace klangdorn;

namespace
{

struct SplitCase {
    const char* name;
    std::vector<std::string> pieces;
    std::vector<std::string> lines; // ended by a line feed
    std::string unfinished;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

// Lines as the streaming reader is told them, in the character type it is fed.
template <typename Char> struct Collected {
    std::vector<std::basic_string<Char>> lines;
    std::basic_string<Char> current;
    void text(std::basic_string_view<Char> part) { current += part; }
    void restart() { current.clear(); }
    void end() { lines.push_back(std::exchange(current, {})); }
};

std::u16string wide(const std::string& ascii)
{
    return {ascii.begin(), ascii.end()};
}

class LineSplitterTest : public testing::TestWithParam<SplitCase>
{
};

TEST_P(LineSplitterTest, SplitsAsATerminalShowsWhereverThePiecesAreCut)
{
    const SplitCase& c = GetParam();
    std::string whole;
    for (const auto& piece : c.pieces)
        whole += piece;
    std::vector<std::vector<std::string>> cuttings{c.pieces, {}};
    for (const char ch : whole)
        cuttings.back().emplace_back(1, ch);
    for (std::size_t at = 0; at <= whole.size(); ++at)
        cuttings.push_back({whole.substr(0, at), whole.substr(at)});
    for (const auto& pieces : cuttings) {
        LineSplitter splitter;
        Collected<char> read;
        BasicLineSplitter<char16_t> wideSplitter;
        Collected<char16_t> wideRead;
        for (const auto& piece : pieces) {
            splitter.feed(piece, read);
            const std::u16string widePiece = wide(piece);
            wideSplitter.feed(widePiece, wideRead);
        }
        const std::string cut = pieces.empty() ? "" : pieces.front();
        EXPECT_EQ(read.lines, c.lines) << "first piece \"" << cut << '"';
        EXPECT_EQ(read.current, c.unfinished) << "first piece \"" << cut << '"';
        std::vector<std::u16string> wideLines;
        for (const auto& line : c.lines)
            wideLines.push_back(wide(line));
        EXPECT_EQ(wideRead.lines, wideLines);
        EXPECT_EQ(wideRead.current, wide(c.unfinished));
    }
    std::vector<std::string> shown;
    ForEachShownLine(std::string_view(whole),
                     [&](std::string_view line) { shown.emplace_back(line); });
    std::vector<std::string> expected = c.lines;
    if (!c.unfinished.empty())
        expected.push_back(c.unfinished);
    EXPECT_EQ(shown, expected) << "as one whole text";
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, LineSplitterTest,
    testing::Values(
        SplitCase{"line_feeds", {"eins\nzwei\n"}, {"eins", "zwei"}, ""},
        SplitCase{"unfinished_last_line", {"eins\nzw", "ei"}, {"eins"}, "zwei"},
        SplitCase{
            "return_and_line_feed_end_a_line", {"eins\r", "\nzwei\r\n"}, {"eins", "zwei"}, ""},
        SplitCase{
            "text_after_a_return_starts_over", {"Kopf\n10%\r20%\r", "30%\n"}, {"Kopf", "30%"}, ""},
        SplitCase{"a_return_at_the_end_keeps_the_line", {"10%\r20%\r"}, {}, "20%"},
        SplitCase{"returns_in_a_row_before_a_line_feed", {"a\r\r\nb\r\r", "c"}, {"a"}, "c"},
        SplitCase{"empty_lines", {"\n\r\n\n"}, {"", "", ""}, ""}, SplitCase{"nothing", {}, {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
