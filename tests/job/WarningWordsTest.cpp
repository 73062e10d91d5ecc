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
        WordsCase{
            "an option named without a mend",
            "in.wav ist eine Datei eines bekannten Formats (WAV): als solche gelesen, RAW PCM "
            "(-fs) übergangen",
            "in.wav ist eine Datei eines bekannten Formats (WAV): als solche gelesen, RAW PCM "
            "(-fs) übergangen"},
        WordsCase{"a track that clips",
                  "o.ac3: the track peaks at 1.20 dBFS, above full scale, and clips in players: "
                  "normalise it to 95 % with -norm 0.95",
                  "o.ac3: the track peaks at 1.20 dBFS, above full scale, and clips in players: "
                  "„Normalisierungslevel“ auf 95 % stellen"},
        WordsCase{"a level that would clip",
                  "level: -2.07 dBFS delivered, -0.45 dBFS asked: the highest level that does not "
                  "clip",
                  "Normalisierungslevel: 95 % verlangt, 79 % geliefert (der höchste Pegel ohne "
                  "Übersteuern)"},
        WordsCase{"a level that would clip, in German",
                  "Pegel: -1.12 dBFS geliefert, -0.45 dBFS verlangt: der höchste Pegel, der nicht "
                  "übersteuert",
                  "Normalisierungslevel: 95 % verlangt, 88 % geliefert (der höchste Pegel ohne "
                  "Übersteuern)"},
        WordsCase{
            "the nearest level",
            "level: -0.98 dBFS delivered, -6.02 dBFS asked: the nearest of 3 encodes",
            "Normalisierungslevel: 50 % verlangt, 89 % geliefert (der nächste von 3 Versuchen)"},
        WordsCase{
            "the nearest level, in German with decimal commas",
            "Pegel: -1,12 dBFS geliefert, -0,09 dBFS verlangt: der nächste von 12 Kodierungen",
            "Normalisierungslevel: 99 % verlangt, 88 % geliefert (der nächste von 12 Versuchen)"},
        WordsCase{"a level without its unit", "level: -6.02 delivered, -0.45 dBFS asked: why not",
                  "level: -6.02 delivered, -0.45 dBFS asked: why not"},
        WordsCase{"option inside a word", "stream 2 taken: --ssrc(x and x-ssrc( differ",
                  "stream 2 taken: --ssrc(x and x-ssrc( differ"},
        WordsCase{"nothing the window sets", "stream 2 of 3 taken (deu, \"Kommentar\")",
                  "stream 2 of 3 taken (deu, \"Kommentar\")"},
        WordsCase{"empty", "", ""}));

} // namespace
