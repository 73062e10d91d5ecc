// SPDX-License-Identifier: GPL-3.0-or-later
// besweet speaks the user's language on the screen (help, refusals, warnings, progress) with
// its prefixes untranslated and the percentage readable, and English in the log; the message
// type fills a translated format as it fills the English one.
#include "common/RunSummary.h"
#include "core/Av.h"
#include "core/Text.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <locale.h>
#include <sstream>

namespace besweet::test
{
namespace
{

struct Language {
    const char* name;
    std::vector<std::pair<const char*, const char*>> environment; // null value: unset
    const char* locale;                                           // must exist for the case
    bool german;
};

void PrintTo(const Language& language, std::ostream* os)
{
    *os << language.name;
}

class SpeaksTheUsersLanguage : public testing::TestWithParam<Language>
{
protected:
    ScratchFolder folder;

    void SetUp() override
    {
        const locale_t locale = ::newlocale(LC_ALL_MASK, GetParam().locale, nullptr);
        if (!locale)
            GTEST_SKIP() << "the locale " << GetParam().locale
                         << " is not installed (tools/install-deps.sh makes it)";
        ::freelocale(locale);
    }

    RunResult run(const std::vector<std::string>& arguments) const
    {
        const auto environment = GetParam().environment;
        return runBesweet(arguments, [environment] {
            ::unsetenv("LC_ALL");
            for (const auto& [name, value] : environment) {
                if (value)
                    ::setenv(name, value, 1);
                else
                    ::unsetenv(name);
            }
        });
    }

    // The expected text in the case's language.
    static std::string said(const std::string& english, const std::string& german)
    {
        return GetParam().german ? german : english;
    }
};

TEST_P(SpeaksTheUsersLanguage, OnTheScreenAndEnglishInTheLog)
{
    const RunResult help = run({"--help"});
    EXPECT_EQ(help.out.substr(0, help.out.find(' ')), said("Usage:", "Aufruf:"));

    const RunResult usage = run(besweetArguments(folder / "in.wav", folder / "out.mpa",
                                                 {"-toolame(", "-m", "s", "-b", "32", ")"}));
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.err.rfind(said("besweet: Layer II mode 's' does not allow 32 kbps",
                                   "besweet: Layer-II-Modus 's' erlaubt keine 32 kbps"),
                              0),
              0U)
        << usage.err;

    Tone tone;
    tone.seconds = 0.5;
    writeWav(folder / "in.wav", tone);
    const RunResult refused = run(besweetArguments(folder / "in.wav", folder / "in.wav", {}));
    EXPECT_EQ(refused.err, "besweet: " + (folder / "in.wav").string() +
                               said(": is the input file; choose another output\n",
                                    ": ist die Eingabedatei; eine andere Ausgabe wählen\n"));

    // Refusals of the input itself: its name first, then the reason in the user's language.
    const std::string whole = readBytes(folder / "in.wav");
    writeBytes(folder / "cut.wav", whole.substr(0, whole.size() / 2));
    const struct {
        const char* input;
        const char* english;
        const char* german;
    } inputs[] = {
        {"missing.wav", ": cannot open: ", ": lässt sich nicht öffnen: "},
        {"cut.wav", ": is cut short: its header promises 0.50 s, it holds ",
         ": ist abgeschnitten: ihr Dateikopf verspricht 0.50 s, sie enthält "},
    };
    for (const auto& c : inputs) {
        const RunResult broken = run(besweetArguments(folder / c.input, folder / "out.mpa", {}));
        EXPECT_EQ(broken.exitCode, 1);
        EXPECT_EQ(broken.err.rfind(
                      "besweet: " + (folder / c.input).string() + said(c.english, c.german), 0),
                  0U)
            << broken.err;
    }

    // 44.1 kHz is no DVD's rate: a warning, then both passes of a normalised run.
    const RunResult done = run(besweetArguments(
        folder / "in.wav", folder / "out.mpa", {"-ota(", "-norm", "0.9", ")"}, folder / "run.log"));
    ASSERT_EQ(done.exitCode, 0) << done.err;
    EXPECT_NE(done.err.find(said("besweet: warning: not DVD-compliant: 44100 Hz",
                                 "besweet: warning: nicht DVD-konform: 44100 Hz")),
              std::string::npos)
        << done.err;
    // "Pass 1/2: measuring the peak 40%": the pass in the run's language, a step of ten percent.
    const auto isProgressLine = [&](const std::string& line) {
        const std::size_t blank = line.rfind(' ');
        if (!line.starts_with(said("Pass ", "Durchgang ")) || !line.ends_with('%') ||
            blank == std::string::npos)
            return false;
        const std::string percent = line.substr(blank + 1, line.size() - blank - 2);
        return !percent.empty() && percent.size() <= 3 &&
               percent.find_first_not_of("0123456789") == std::string::npos &&
               std::stoi(percent) % 10 == 0 && std::stoi(percent) <= 100;
    };
    // The run ends with what it delivered, the lead word in the run's language.
    const std::string summary = klangdorn::RunSummaryOf(done.out);
    EXPECT_TRUE(done.out.ends_with(summary + "\n")) << done.out;
    EXPECT_EQ(summary.rfind(said("Delivered: ", "Geliefert: "), 0), 0U) << done.out;
    int progressLines = 0;
    std::istringstream lines(done.out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("besweet: ") && line != summary) {
            EXPECT_TRUE(isProgressLine(line)) << line;
            ++progressLines;
        }
    }
    EXPECT_GE(progressLines, 4) << done.out;
    EXPECT_NE(
        done.out.find(said("\nPass 2/2: encoding 100%\n", "\nDurchgang 2/2: kodieren 100%\n")),
        std::string::npos)
        << done.out;
    const std::string log = readBytes(folder / "run.log");
    EXPECT_NE(log.find("\nwarning: not DVD-compliant: 44100 Hz (a DVD takes 48000 Hz"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("DVD-konform"), std::string::npos) << log;
    EXPECT_NE(log.find("\nDelivered: "), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, SpeaksTheUsersLanguage,
    testing::Values(
        Language{"LanguageGerman", {{"LC_ALL", "C.UTF-8"}, {"LANGUAGE", "de"}}, "C.UTF-8", true},
        Language{"LocaleGerman",
                 {{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", nullptr}, {"LC_MESSAGES", nullptr}},
                 "de_DE.UTF-8",
                 true},
        // The C locale ignores LANGUAGE, as gettext does everywhere.
        Language{"PlainC", {{"LC_ALL", "C"}, {"LANGUAGE", "de"}}, "C", false},
        Language{"MessagesEnglish",
                 {{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "C.UTF-8"}, {"LANGUAGE", nullptr}},
                 "de_DE.UTF-8",
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

// What the catalogue gives back is filled as the English format is, numbered conversions in
// any order; what cannot be filled stays as written, never read past the arguments.
TEST(Text, FillsFormatsAndLeavesWhatItCannotFill)
{
    const std::vector<std::string> arguments{"a.wav", "3"};
    const struct {
        const char* format;
        const char* filled;
    } cases[] = {
        {"%s: %d frames", "a.wav: 3 frames"},       {"%2$d Frames in %1$s", "3 Frames in a.wav"},
        {"100%% of %s", "100% of a.wav"},           {"%s %s %s", "a.wav 3 %s"},
        {"%3$s and %x and %", "%3$s and %x and %"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(filled(c.format, arguments), c.filled) << c.format;

    const Text reason{"damaged data", "beschädigte Daten"};
    const Text whole = text("%s: %s at %d s", std::string("a.wav"), reason, 12);
    EXPECT_EQ(whole.english, "a.wav: damaged data at 12 s");
    EXPECT_EQ(whole.local, "a.wav: beschädigte Daten at 12 s"); // no catalogue in this test
}

// FFmpeg's codes reach a person as a few plain reasons; its own text goes to the log only, and
// a code it cannot explain is named as such.
TEST(Text, FfmpegCodesBecomePlainReasons)
{
    const struct {
        int code;
        const char* reason;
        const char* logged;
    } cases[] = {
        {AVERROR_INVALIDDATA, "damaged data",
         "damaged data (Invalid data found when processing input)"},
        {AVERROR_DEMUXER_NOT_FOUND, "no audio data recognised",
         "no audio data recognised (Demuxer not found)"},
        {AVERROR_DECODER_NOT_FOUND, "no audio data recognised",
         "no audio data recognised (Decoder not found)"},
        {AVERROR_PATCHWELCOME, "a feature this program cannot handle",
         "a feature this program cannot handle (Not yet implemented in FFmpeg, patches welcome)"},
        {AVERROR(ENOSPC), "No space left on device",
         "No space left on device (No space left on device)"},
        {AVERROR_EOF, "the data ends too early", "the data ends too early (End of file)"},
        {AVERROR_BUG, "an internal error of the audio library",
         "an internal error of the audio library (Internal bug, should not have happened)"},
        {-16976906, "an internal error of the audio library",
         "an internal error of the audio library (the audio library's code -16976906, which it "
         "does not explain)"},
    };
    for (const auto& c : cases) {
        const Text reason = avReason(c.code);
        EXPECT_EQ(reason.local, c.reason) << c.code;
        EXPECT_EQ(reason.english, c.logged) << c.code;
    }
    EXPECT_EQ(damagedDataAt(62.38).local, "damaged data at 00:01:02.3");
    EXPECT_EQ(damagedDataAt(3725.0).local, "damaged data at 01:02:05.0");
    EXPECT_EQ(damagedDataAt(std::nan("")).local, "damaged data at 00:00:00.0");
}

} // namespace
} // namespace besweet::test
