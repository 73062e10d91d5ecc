// SPDX-License-Identifier: GPL-3.0-or-later
// How a run's end is told in the window's words, in its box and to the desktop.
#include "job/RunFakes.h"
#include "job/TranscodeRun.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

// Hears of each run's end as the desktop does.
struct RecordingObserver : RunEndObserver {
    std::optional<Message> failure;
    std::vector<std::string> warnings;
    void runEnded(const std::string&, const std::optional<Message>& failed,
                  const std::vector<std::string>& said) override
    {
        std::tie(failure, warnings) = std::tie(failed, said);
    }
};

// exit code, "BeSweet zeigen", "Log schreiben", the box's text
using WordsCase = std::tuple<int, bool, bool, std::string>;

class RunEndWordsTest : public testing::TestWithParam<WordsCase>
{
protected:
    Journal journal;
    MemorySettings backend;
    SettingsStore settings{backend, [] { return std::string("Klangdorn_d"); }};
    JournalWindow window{journal};
    JournalMessageBoxes messages{journal};
    JournalFileDialog dialogBackend{journal};
    CommonDialog dialog{dialogBackend};
    JournalLauncher launcher{journal};
    FakeFiles files;
    TranscodeRun run{window, settings, messages, dialog, launcher, files};
};

// A missed level as the slider says it; a failure box points only at what was on to read more.
TEST_P(RunEndWordsTest, TheBoxAndTheDesktopSpeakTheWindowsWords)
{
    const auto& [exitCode, console, log, boxText] = GetParam();
    const std::string level = "Pegel: -1.12 dBFS geliefert, -0.45 dBFS verlangt: der höchste "
                              "Pegel, der nicht übersteuert";
    RecordingObserver observer;
    run.setRunEndObserver(&observer);
    launcher.end = ProcessEnd::exited(exitCode);
    launcher.output = "besweet: warning: " + level + "\n";
    settings.saveText(SettingKey::Besweet, "/opt/besweet/BeSweet.exe");
    window.controls = {.inputFile = "/musik/konzert.wav",
                       .outputFile = "/dvd/konzert.ac3",
                       .writeLog = log,
                       .showBesweet = console,
                       .outputChannelmode = 0,
                       .outputBitrate = 0};
    launcher.duringWait = [this] { files.write("/dvd/konzert.ac3"); };
    run.cmdTranscode_Click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, boxText);
    EXPECT_EQ(observer.warnings, std::vector<std::string>{level}) << "as the transcoder said it";
    EXPECT_EQ(observer.failure, exitCode == 0 ? std::nullopt : std::optional(messages.shown[0]));
}

const std::string FailedWith1 = "BeSweet wurde mit Fehlercode 1 beendet.\r\n";

INSTANTIATE_TEST_SUITE_P(
    Ends, RunEndWordsTest,
    testing::Values(
        WordsCase{0, false, false,
                  "Transcode beendet, mit Warnungen:\r\nNormalisierungslevel: 95 % verlangt, 88 % "
                  "geliefert (der höchste Pegel ohne Übersteuern)"},
        WordsCase{1, false, false,
                  FailedWith1 +
                      "Für die ganze Ausgabe „BeSweet zeigen“ ankreuzen und erneut starten."},
        WordsCase{1, true, false, FailedWith1 + "Bitte die Ausgabe im Fenster „BeSweet“ prüfen."},
        WordsCase{1, false, true, FailedWith1 + "Bitte das Log prüfen: konzert.ac3.log"},
        WordsCase{
            1, true, true,
            FailedWith1 +
                "Bitte die Ausgabe im Fenster „BeSweet“ oder das Log prüfen: konzert.ac3.log"}));

} // namespace
