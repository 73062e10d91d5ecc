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

// A missed level as the slider says it; a failure box points only at what was on to read more.
TEST(RunEndWords, TheBoxAndTheDesktopSpeakTheWindowsWords)
{
    const std::string level = "Pegel: -1.12 dBFS geliefert, -0.45 dBFS verlangt: der höchste "
                              "Pegel, der nicht übersteuert";
    const std::string failed = "BeSweet wurde mit Fehlercode 1 beendet.\r\n";
    const std::tuple<int, bool, bool, std::string> ends[] = {
        // exit code, "BeSweet zeigen", "Log schreiben", the box's text
        {0, false, false,
         "Transcode beendet, mit Warnungen:\r\nNormalisierungslevel: 95 % verlangt, 88 % "
         "geliefert (der höchste Pegel ohne Übersteuern)"},
        {1, false, false,
         failed + "Für die ganze Ausgabe „BeSweet zeigen“ ankreuzen und erneut starten."},
        {1, true, false, failed + "Bitte die Ausgabe im Fenster „BeSweet“ prüfen."},
        {1, false, true, failed + "Bitte das Log prüfen: konzert.ac3.log"},
        {1, true, true,
         failed + "Bitte die Ausgabe im Fenster „BeSweet“ oder das Log prüfen: konzert.ac3.log"},
    };
    for (const auto& [exitCode, console, log, boxText] : ends) {
        Journal journal;
        MemorySettings backend;
        SettingsStore settings{backend, [] { return std::string("Klangdorn_d"); }};
        settings.saveText(SettingKey::Besweet, "/opt/besweet/BeSweet.exe");
        JournalWindow window{journal};
        window.controls = {.inputFile = "/musik/konzert.wav",
                           .outputFile = "/dvd/konzert.ac3",
                           .writeLog = log,
                           .showBesweet = console,
                           .outputChannelmode = 0,
                           .outputBitrate = 0};
        JournalMessageBoxes messages{journal};
        JournalFileDialog dialog{journal};
        CommonDialog commonDialog{dialog};
        JournalLauncher launcher{journal};
        launcher.end = ProcessEnd::exited(exitCode);
        launcher.output = "besweet: warning: " + level + "\n";
        FakeFiles files;
        launcher.duringWait = [&] { files.write("/dvd/konzert.ac3"); };
        TranscodeRun run{window, settings, messages, commonDialog, launcher, files};
        RecordingObserver observer;
        run.setRunEndObserver(&observer);
        run.cmdTranscode_Click();

        ASSERT_EQ(messages.shown.size(), 1u) << boxText;
        EXPECT_EQ(messages.shown[0].text, boxText);
        EXPECT_EQ(observer.warnings, std::vector<std::string>{level}) << "as the transcoder said";
        EXPECT_EQ(observer.failure,
                  exitCode == 0 ? std::nullopt : std::optional(messages.shown[0]));
    }
}

} // namespace
