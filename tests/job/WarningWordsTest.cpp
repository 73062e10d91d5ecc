// SPDX-License-Identifier: GPL-3.0-or-later
// The transcoder's warnings told in the window's words, whatever language the transcoder spoke.
#include "job/WarningWords.h"

#include <gtest/gtest.h>

using namespace klangdorn;

namespace
{

struct WordsCase {
    const char* name;
    std::string_view warning;
    std::string_view shown;
};

void PrintTo(const WordsCase& c, std::ostream* os)
{
    *os << c.name;
}

class WarningWordsTest : public testing::TestWithParam<WordsCase>
{
};

TEST_P(WarningWordsTest, AMendOfTheWindowNamesItsControl)
{
    EXPECT_EQ(InWindowWords(GetParam().warning), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Warnings, WarningWordsTest,
    testing::Values(
        WordsCase{"English",
                  "not DVD-compliant: 44100 Hz (a DVD takes 48000 Hz: resample with -ssrc( "
                  "--rate 48000 ))",
                  "not DVD-compliant: 44100 Hz (a DVD takes 48000 Hz: „Resample auf 48 kHz“ "
                  "ankreuzen)"},
        WordsCase{"German",
                  "nicht DVD-konform: 44100 Hz (eine DVD nimmt 48000 Hz: mit -ssrc( --rate 48000 ) "
                  "umrechnen)",
                  "nicht DVD-konform: 44100 Hz (eine DVD nimmt 48000 Hz: „Resample auf 48 kHz“ "
                  "ankreuzen)"},
        WordsCase{"mend at the end", "level -2.1 dBFS, 0.95 asked: lower it with -norm 0.9",
                  "level -2.1 dBFS, 0.95 asked: den Regler „Normalisierungslevel“ verstellen"},
        WordsCase{"quoted option", "Layer II mode 'm': choose another with '-b' 192",
                  "Layer II mode 'm': unter „Bitrate (kbps)“ eine andere wählen"},
        WordsCase{"option without a mend clause", "-norm 1 clips: the track peaks at +0.3 dBFS",
                  "-norm 1 clips: the track peaks at +0.3 dBFS"},
        WordsCase{"option inside a word", "stream 2 taken: --bitrate-info and -mono-x differ",
                  "stream 2 taken: --bitrate-info and -mono-x differ"},
        WordsCase{"nothing the window sets", "stream 2 of 3 taken (deu, \"Kommentar\")",
                  "stream 2 of 3 taken (deu, \"Kommentar\")"},
        WordsCase{"empty", "", ""}));

} // namespace
