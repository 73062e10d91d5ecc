// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/OutputTail.h"

#include <gtest/gtest.h>

using namespace klangdorn;

namespace
{

TEST(OutputTail, MegabytesOfOutputKeepOnlyTheLastLinesWhole)
{
    OutputTail tail;
    const std::string line = "Fortschritt: 0123456789 abcdefghijklmnopqrstuvwxyz äöü\n";
    std::string chunk;
    while (chunk.size() < 60'000)
        chunk += line;
    for (int i = 0; i < 50; ++i) {
        tail.append(chunk);
        ASSERT_LE(tail.keptBytes(), OutputTail::Capacity);
    }
    tail.append("besweet: zuletzt\n");

    const std::string text = tail.text();
    EXPECT_LE(text.size(), OutputTail::Capacity);
    EXPECT_GT(text.size(), OutputTail::Capacity - 2 * line.size());
    EXPECT_EQ(text.rfind(line, 0), 0u) << "the kept text does not start with a whole line";
    EXPECT_TRUE(text.ends_with(line + "besweet: zuletzt\n"));
}

TEST(OutputTail, ShortOutputIsKeptAsItIsAndAHugeLineLosesNoCharacterHalf)
{
    OutputTail tail;
    tail.append("eins\n");
    tail.append("zwei");
    EXPECT_EQ(tail.text(), "eins\nzwei");

    OutputTail longLine;
    std::string umlauts;
    while (umlauts.size() < 3 * OutputTail::Capacity + 1)
        umlauts += "ü";
    longLine.append(umlauts + "y"); // the kept bytes begin inside an "ü"
    const std::string text = longLine.text();
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(0, CutLineMark.size() + 2), std::string(CutLineMark) + "ü");
    EXPECT_TRUE(text.ends_with("üy"));
}

// A refusal naming a path longer than the tail still says how it ends.
TEST(OutputTail, AnOverlongLastLineKeepsItsEnd)
{
    for (const char* end : {"\n", "\r\n", "\n\n  \n"}) {
        OutputTail tail;
        tail.append("Fortschritt 1%\nbesweet: /" + std::string(5000, 'x') + "/a.wav: cannot open" +
                    end);
        const std::string words = LastWords(tail.text());
        EXPECT_TRUE(words.starts_with(std::string(CutLineMark) + "xxx")) << end;
        EXPECT_TRUE(words.ends_with("xxx/a.wav: cannot open")) << end;
        EXPECT_LE(words.size(), OutputTail::Capacity + CutLineMark.size()) << end;
    }
}

struct WordsCase {
    const char* name;
    std::string output;
    std::string words;
};

void PrintTo(const WordsCase& c, std::ostream* os)
{
    *os << c.name;
}

class LastWordsTest : public testing::TestWithParam<WordsCase>
{
};

TEST_P(LastWordsTest, SaysWhatTheTranscoderLastSaid)
{
    EXPECT_EQ(LastWords(GetParam().output), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, LastWordsTest,
    testing::Values(
        WordsCase{"own line after progress",
                  "Fortschritt 10%\rFortschritt 20%\nbesweet: /a.wav: cannot open\n",
                  "besweet: /a.wav: cannot open"},
        WordsCase{"last own line counts", "besweet: log: going on without\nbesweet: kaputt\r\n",
                  "besweet: kaputt"},
        WordsCase{"own line before trailing text", "besweet: falsch\nUsage: ...\n\n",
                  "besweet: falsch"},
        WordsCase{"last five lines of another transcoder", "1\n2\n3\n4\n5\n6\n7\n",
                  "3\n4\n5\n6\n7"},
        WordsCase{"progress rewritten with carriage returns", "a\r\nOK 10%\rOK 55%\r\n",
                  "a\nOK 55%"},
        WordsCase{"blank lines are no words", "\n  \r\n\t\n", ""}, WordsCase{"nothing", "", ""},
        WordsCase{"a prefix inside a line is no own line", "xbesweet: y\n", "xbesweet: y"},
        WordsCase{"warnings are no words", "Fortschritt 99%\nbesweet: warning: clipped\n",
                  "Fortschritt 99%"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

// Warnings written long before the end, between megabytes of progress, all reach the box.
TEST(OutputTail, EveryWarningIsKeptHoweverMuchFollows)
{
    OutputTail tail;
    tail.append("besweet: warning: stream 2 of 3 taken\n");
    for (int i = 0; i < 20000; ++i)
        tail.append("Durchgang 1/1: kodieren " + std::to_string(i % 100) + "%\r");
    tail.append("besweet: warn");
    tail.append("ing: damage read through at 2.5 s\r\nFortschritt 1%\rbesweet: warning: ");
    tail.append("hole filled\r\n" + std::string(1 << 20, 'x') + "\nbesweet: warning: at the end");
    EXPECT_EQ(tail.warnings(),
              (std::vector<std::string>{"stream 2 of 3 taken", "damage read through at 2.5 s",
                                        "hole filled", "at the end"}));
    EXPECT_EQ(WarningLines(tail.text()).size(), 1u) << "the tail alone has lost the others";
}

} // namespace
