// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/TranscodeRun.h"

#include "job/RunFakes.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

const std::string Transcoder = "/opt/besweet/BeSweet.exe";
const std::string Source = "/musik/konzert.wav";
const std::string Target = "/dvd/konzert.ac3";

class TranscodeRunTest : public testing::Test
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

    void SetUp() override
    {
        settings.saveText(SettingKey::Besweet, Transcoder);
        window.controls.inputFile = Source;
        window.controls.outputFile = Target;
        window.controls.outputBitrate = 0;
        window.controls.outputChannelmode = 0;
        window.controls.inputSamplerate = 1;
        // A run that works writes its target.
        launcher.duringWait = [this] { files.write(Target); };
    }

    void click()
    {
        journal.clear();
        run.cmdTranscode_Click();
    }
    std::string storedTranscoder() const { return settings.readText(SettingKey::Besweet); }
};

const Journal LaunchAndEnd{"button off", "timer on",  "launch",        "wait",
                           "timer off",  "button on", "clear wait bar"};

Journal concat(std::initializer_list<Journal> parts)
{
    Journal all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// ---- the steps in order ------------------------------------------------------------------

TEST_F(TranscodeRunTest, SuccessfulRunLaunchesTheJobAndEndsSilently)
{
    // Every option set apart from its default, each list at a position of its own.
    window.controls.showBesweet = true;
    window.controls.writeLog = true;
    window.controls.resample = true;
    window.controls.normalize = 80;
    window.controls.inputRawPcm = true;
    window.controls.inputSamplerate = 0;
    window.controls.outputChannelmode = 1;
    window.controls.outputBitrate = 2;
    window.controls.outputFile = "/dvd/konzert";
    settings.saveText(SettingKey::OutputType, "mpa");
    launcher.duringWait = [this] { files.write("/dvd/konzert"); };
    click();

    EXPECT_EQ(journal, LaunchAndEnd);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(window.transcodeEnabled);
    EXPECT_FALSE(window.timerEnabled);

    const std::vector<std::string> expected{Transcoder, "-core(",
                                            "-input",   Source,
                                            "-output",  "/dvd/konzert",
                                            "-logfile", "/dvd/konzert.log",
                                            ")",        "-ota(",
                                            "-norm",    "0.80",
                                            "-fs",      "32000",
                                            ")",        "-ssrc(",
                                            "--rate",   "48000",
                                            ")",        "-toolame(",
                                            "-m",       "j",
                                            "-b",       "256",
                                            ")"};
    EXPECT_EQ(launcher.arguments, expected);
    EXPECT_EQ(launcher.commandLine,
              "/opt/besweet/BeSweet.exe -core( -input /musik/konzert.wav -output "
              "/dvd/konzert -logfile /dvd/konzert.log ) -ota( -norm 0.80 -fs 32000 ) "
              "-ssrc( --rate 48000 ) -toolame( -m j -b 256 )");
    EXPECT_EQ(launcher.showWindow, true);
}

TEST_F(TranscodeRunTest, ExistingTargetIsAskedAboutBeforeTheButtonIsDisabled)
{
    files.existing.insert(Target);
    click();

    EXPECT_EQ(journal, concat({{"message: Zieldatei existiert bereits"}, LaunchAndEnd}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(
        messages.shown[0],
        (Message{"Zieldatei existiert bereits! Möchten Sie diese\r\nwirklich überschreiben?",
                 MessageButtons::YesNo, MessageIcon::Exclamation, "Zieldatei existiert bereits"}));
}

TEST_F(TranscodeRunTest, NoToOverwritingLaunchesNothingAndLeavesTheButtonEnabled)
{
    files.existing.insert(Target);
    messages.answers = {MessageAnswer::No};
    click();

    EXPECT_EQ(journal, Journal{"message: Zieldatei existiert bereits"});
    EXPECT_TRUE(window.transcodeEnabled);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(TranscodeRunTest, SourceThatIsTheTargetIsRefusedBeforeTheOverwriteQuestion)
{
    files.existing.insert(Target);
    files.sameFiles.insert({Source, Target});
    click();

    EXPECT_EQ(journal, Journal{"message: Zieldatei ungültig"});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(
        messages.shown[0],
        (Message{"Quell- und Zieldatei sind identisch!\r\nBitte eine andere Zieldatei wählen!",
                 MessageButtons::Ok, MessageIcon::Exclamation, "Zieldatei ungültig"}));
}

TEST_F(TranscodeRunTest, BadListPositionIsReportedBeforeAnyQuestion)
{
    files.existing.insert(Target);
    window.controls.outputBitrate = -1;
    click();

    EXPECT_EQ(journal, (Journal{"timer off", "button on", "message: Klangdorn_d"}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], (Message{"Fehler: 9 - Index außerhalb des gültigen Bereichs",
                                          MessageButtons::Ok, MessageIcon::None, "Klangdorn_d"}));
}

// ---- source and target given -------------------------------------------------------------

struct FieldsCase {
    std::string input;
    std::string output;
    bool refused;
};

void PrintTo(const FieldsCase& c, std::ostream* os)
{
    *os << '"' << c.input << "\" \"" << c.output << '"';
}

class EmptyFieldsTest : public TranscodeRunTest, public testing::WithParamInterface<FieldsCase>
{
};

TEST_P(EmptyFieldsTest, OnlyAnEmptyTextCountsAsMissing)
{
    window.controls.inputFile = GetParam().input;
    window.controls.outputFile = GetParam().output;
    click();

    if (GetParam().refused) {
        EXPECT_EQ(journal, Journal{"message: Keine Quelle oder Ziel angegeben"});
        EXPECT_EQ(messages.shown.at(0),
                  (Message{"keine Quell- oder Zieldatei angegeben!\r\nBitte vor dem Transcoden "
                           "Quelle und Ziel zuweisen!",
                           MessageButtons::Ok, MessageIcon::Exclamation,
                           "Keine Quelle oder Ziel angegeben"}));
    } else {
        EXPECT_NE(std::find(journal.begin(), journal.end(), "launch"), journal.end());
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, EmptyFieldsTest,
                         testing::Values(FieldsCase{"", Target, true}, FieldsCase{Source, "", true},
                                         FieldsCase{"", "", true}, FieldsCase{" ", "  ", false},
                                         FieldsCase{"/gibt/es/nicht.wav", Target, false}));

// ---- the transcoder asked for on the spot ------------------------------------------------

TEST_F(TranscodeRunTest, CancelledTranscoderDialogEndsAfterTheFirstMessage)
{
    backend.values.clear();
    window.controls = {}; // would raise the source message if it were looked at
    click();

    EXPECT_EQ(journal, (Journal{"message: Besweet.exe suchen", "file dialog"}));
    EXPECT_EQ(messages.shown.at(0),
              (Message{"Besweet.exe nicht gefunden.\r\nBitte zuerst Pfad zu Besweet festlegen!",
                       MessageButtons::Ok, MessageIcon::Exclamation, "Besweet.exe suchen"}));
    EXPECT_FALSE(settings.stored(SettingKey::Besweet).has_value());
}

TEST_F(TranscodeRunTest, CancelReportedAsErrorIsSilentToo)
{
    backend.values.clear();
    dialogBackend.throwCancel = true;
    click();

    EXPECT_EQ(journal, (Journal{"message: Besweet.exe suchen", "file dialog"}));
    EXPECT_TRUE(window.transcodeEnabled);
    EXPECT_FALSE(settings.stored(SettingKey::Besweet).has_value());
}

TEST_F(TranscodeRunTest, TranscoderDialogIsSetUpAndKeepsWhatItWasNotToldToChange)
{
    backend.values.clear();
    dialog.setInitDir("/musik");
    dialog.setDefaultExt("ac3");
    dialog.setFileName("/musik/alt.wav");
    click();

    ASSERT_EQ(dialogBackend.shown.size(), 1u);
    EXPECT_EQ(dialogBackend.shown[0].mode, FileDialogMode::Open);
    EXPECT_EQ(dialogBackend.shown[0].settings,
              (FileDialogSettings{"Ausführbare Dateien (*.exe)|besweet.exe", "",
                                  "Besweet.exe suchen...", "/musik", "ac3"}));
}

TEST_F(TranscodeRunTest, ChosenTranscoderIsStoredAndTheSameClickGoesOn)
{
    backend.values.clear();
    dialogBackend.choose("/werkzeuge/besweet.exe");
    click();

    EXPECT_EQ(journal, concat({{"message: Besweet.exe suchen", "file dialog"}, LaunchAndEnd}));
    EXPECT_EQ(storedTranscoder(), "/werkzeuge/besweet.exe");
    EXPECT_EQ(launcher.arguments.front(), "/werkzeuge/besweet.exe");
}

TEST_F(TranscodeRunTest, TranscoderThenMissingFieldsInThisOrder)
{
    backend.values.clear();
    window.controls.inputFile.clear();
    window.controls.outputFile.clear();
    dialogBackend.choose("/werkzeuge/besweet.exe");
    click();

    EXPECT_EQ(journal, (Journal{"message: Besweet.exe suchen", "file dialog",
                                "message: Keine Quelle oder Ziel angegeben"}));
}

// Whatever ends the click later, the chosen transcoder stays stored.
enum class LaterStop { MissingSource, NoToOverwrite, LaunchFails };

void PrintTo(LaterStop stop, std::ostream* os)
{
    constexpr const char* names[] = {"missing source", "No to overwrite", "launch fails"};
    *os << names[static_cast<int>(stop)];
}

class ChosenTranscoderStaysTest : public TranscodeRunTest,
                                  public testing::WithParamInterface<LaterStop>
{
};

TEST_P(ChosenTranscoderStaysTest, PathStaysStored)
{
    backend.values.clear();
    dialogBackend.choose("/werkzeuge/besweet.exe");
    switch (GetParam()) {
    case LaterStop::MissingSource:
        window.controls.inputFile.clear();
        break;
    case LaterStop::NoToOverwrite:
        files.existing.insert(Target);
        messages.answers = {MessageAnswer::Ok, MessageAnswer::No};
        break;
    case LaterStop::LaunchFails:
        launcher.launchFailure = RuntimeError(ErrorNumber::FileNotFound, "/werkzeuge/besweet.exe");
        break;
    }
    click();
    EXPECT_EQ(storedTranscoder(), "/werkzeuge/besweet.exe");
    EXPECT_TRUE(window.transcodeEnabled);
}

INSTANTIATE_TEST_SUITE_P(Stops, ChosenTranscoderStaysTest,
                         testing::Values(LaterStop::MissingSource, LaterStop::NoToOverwrite,
                                         LaterStop::LaunchFails));

// ---- failures of the launch and of the run -----------------------------------------------

TEST_F(TranscodeRunTest, FailedLaunchEnablesTheButtonAgainAndReportsTheError)
{
    files.existing.insert(Target);
    launcher.launchFailure = RuntimeError(ErrorNumber::FileNotFound, Transcoder);
    click();

    EXPECT_EQ(journal, (Journal{"message: Zieldatei existiert bereits", "button off", "timer on",
                                "launch", "timer off", "button on", "message: Klangdorn_d"}));
    EXPECT_EQ(messages.shown.back(),
              (Message{"Fehler: 53 - Datei nicht gefunden: " + Transcoder, MessageButtons::Ok,
                       MessageIcon::None, "Klangdorn_d"}));
    EXPECT_TRUE(window.transcodeEnabled);
    EXPECT_FALSE(window.timerEnabled);
}

struct OutcomeCase {
    ProcessEnd end;
    bool targetWritten;
    std::string firstLine; // empty: no message
};

void PrintTo(const OutcomeCase& c, std::ostream* os)
{
    const char* kinds[] = {"exit ", "signal ", "unknown end "};
    *os << kinds[static_cast<int>(c.end.kind)] << c.end.code
        << (c.targetWritten ? " with target" : " without target");
}

class RunOutcomeTest : public TranscodeRunTest, public testing::WithParamInterface<OutcomeCase>
{
};

TEST_P(RunOutcomeTest, FailedRunIsReportedAfterTheRunHasEnded)
{
    launcher.end = GetParam().end;
    if (!GetParam().targetWritten)
        launcher.duringWait = nullptr;
    click();

    if (GetParam().firstLine.empty()) {
        EXPECT_EQ(journal, LaunchAndEnd);
        return;
    }
    EXPECT_EQ(journal, concat({LaunchAndEnd, {"message: Transcode fehlgeschlagen"}}));
    Message shown = messages.shown.at(0);
    shown.detail.clear(); // told by the detail tests
    EXPECT_EQ(shown,
              (Message{GetParam().firstLine + "\r\nBitte die Ausgabe oder das Log prüfen.",
                       MessageButtons::Ok, MessageIcon::Exclamation, "Transcode fehlgeschlagen"}));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, RunOutcomeTest,
    testing::Values(
        OutcomeCase{ProcessEnd::exited(0), true, ""},
        OutcomeCase{ProcessEnd::exited(0), false, "Die Zieldatei wurde nicht erstellt."},
        OutcomeCase{ProcessEnd::exited(3), true, "BeSweet wurde mit Fehlercode 3 beendet."},
        OutcomeCase{ProcessEnd::exited(1), false, "BeSweet wurde mit Fehlercode 1 beendet."},
        OutcomeCase{ProcessEnd::signalled(9), true, "BeSweet wurde abgebrochen."},
        OutcomeCase{ProcessEnd::unknown(), true, ""},
        OutcomeCase{ProcessEnd::unknown(), false, "Die Zieldatei wurde nicht erstellt."}));

// What the transcoder last said goes below the two lines of the failure message.
struct DetailCase {
    const char* name;
    ProcessEnd end;
    std::optional<std::string> output;
    std::string detail;
};

void PrintTo(const DetailCase& c, std::ostream* os)
{
    *os << c.name;
}

class FailureDetailTest : public TranscodeRunTest, public testing::WithParamInterface<DetailCase>
{
};

TEST_P(FailureDetailTest, FailureMessageSaysWhatTheTranscoderLastSaid)
{
    launcher.end = GetParam().end;
    launcher.output = GetParam().output;
    launcher.duringWait = nullptr;
    click();

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, "Transcode fehlgeschlagen");
    EXPECT_TRUE(messages.shown[0].text.ends_with("\r\nBitte die Ausgabe oder das Log prüfen."));
    EXPECT_EQ(messages.shown[0].detail, GetParam().detail);
}

INSTANTIATE_TEST_SUITE_P(
    Details, FailureDetailTest,
    testing::Values(
        DetailCase{"OwnLine", ProcessEnd::exited(1),
                   "Fortschritt 5%\rFortschritt 9%\nbesweet: /musik/konzert.wav: cannot open\n",
                   "besweet: /musik/konzert.wav: cannot open"},
        DetailCase{"Nothing", ProcessEnd::exited(2), "", "BeSweet hat nichts ausgegeben."},
        DetailCase{"NotCollected", ProcessEnd::exited(3), std::nullopt, ""},
        DetailCase{"WarningsAreNoReason", ProcessEnd::exited(1),
                   "besweet: /a.wav: cannot open\nbesweet: warning: not DVD-compliant: 44100 Hz\n",
                   "besweet: /a.wav: cannot open\n\nZuvor gewarnt:\nnot DVD-compliant: 44100 Hz"},
        DetailCase{"SignalThenLastLine", ProcessEnd::signalled(11),
                   "Fortschritt 40%\nbesweet: warning: clipped\n",
                   "Speicherzugriffsfehler (SIGSEGV)\nFortschritt 40%\n\nZuvor gewarnt:\nclipped"},
        DetailCase{"SignalAlone", ProcessEnd::signalled(SIGTERM), "besweet: warning: clipped\n",
                   "Beendet (SIGTERM)\n\nZuvor gewarnt:\nclipped"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TranscodeRunTest, OutputOfASuccessfulRunIsNotShown)
{
    launcher.output = "besweet: log: going on without\n";
    click();
    EXPECT_TRUE(messages.shown.empty());
}

// Size and time alone cannot tell a target renamed into place within the same tick.
TEST_F(TranscodeRunTest, ATargetReplacedWithinTheSameClockTickIsWritten)
{
    files.existing.insert(Target);
    launcher.duringWait = [this] { files.replaceWithinTheSameTick(Target); };
    click();
    ASSERT_EQ(messages.shown.size(), 1u) << "more than the overwrite question";
    EXPECT_EQ(messages.shown[0].caption, "Zieldatei existiert bereits");
}

TEST_F(TranscodeRunTest, AnOldTargetLeftAsItWasIsNoSuccess)
{
    files.existing.insert(Target);
    launcher.duringWait = nullptr; // the transcoder ends with 0 but writes nothing
    click();
    ASSERT_EQ(messages.shown.size(), 2u); // the overwrite question, then the failure
    EXPECT_EQ(messages.shown[1].text,
              "Die Zieldatei wurde nicht erstellt.\r\nBitte die Ausgabe oder das Log prüfen.");

    messages.shown.clear();
    launcher.duringWait = [this] { files.write(Target); };
    click();
    ASSERT_EQ(messages.shown.size(), 1u) << "a rewritten target is a success";
}

// ---- what the run says at its end ---------------------------------------------------------

TEST_F(TranscodeRunTest, AGoodRunThatWarnedShowsTheWarningsInOneBox)
{
    launcher.output = "besweet: warning: not DVD-compliant: 44100 Hz\r\nFortschritt 100%\n"
                      "besweet: warning: clipped 3 samples\n";
    click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0],
              (Message{"Transcode beendet, mit Warnungen:\r\nnot DVD-compliant: 44100 Hz\r\n"
                       "clipped 3 samples",
                       MessageButtons::Ok, MessageIcon::Exclamation, ApplicationTitle}));
}

// Warnings come in the window's words, after a failure too, below what the transcoder last said.
TEST_F(TranscodeRunTest, WarningsReachTheBoxInTheWindowsWords)
{
    const std::string resample = "not DVD-compliant: 44100 Hz (a DVD takes 48000 Hz: resample "
                                 "with -ssrc( --rate 48000 ))";
    const std::string inWords =
        "not DVD-compliant: 44100 Hz (a DVD takes 48000 Hz: „Resample auf 48 kHz“ ankreuzen)";
    for (const bool fails : {false, true}) {
        messages.shown.clear();
        files.existing.clear();
        launcher.end = ProcessEnd::exited(fails ? 1 : 0);
        launcher.output = "besweet: warning: " + resample + "\nbesweet: kaputt\n";
        launcher.duringWait = [this] { files.write(Target); };
        click();
        ASSERT_EQ(messages.shown.size(), 1u);
        const Message& box = messages.shown[0];
        if (fails)
            EXPECT_EQ(box.detail, "besweet: kaputt\n\nZuvor gewarnt:\n" + inWords);
        else
            EXPECT_EQ(box.text, "Transcode beendet, mit Warnungen:\r\n" + inWords);
    }
}

// Closing the window during the wait stops the transcoder; whatever its end, no box follows.
// Stopped again (Ctrl+C or a log-out after "Ja"), the transcoder is not asked again and the run
// still ends as stopped, though the transcoder has ended of the first stop meanwhile.
TEST_F(TranscodeRunTest, AStoppedRunEndsWithoutABox)
{
    for (const int stops : {1, 2, 3}) {
        journal.clear();
        messages.shown.clear();
        launcher.end = ProcessEnd::signalled(15);
        launcher.duringWait = [this, stops] {
            EXPECT_TRUE(run.isRunning());
            for (int i = 0; i < stops; ++i)
                run.stop();
        };
        click();
        EXPECT_EQ(journal, (Journal{"button off", "timer on", "launch", "wait", "stop", "timer off",
                                    "button on", "clear wait bar"}))
            << stops << " stops";
        EXPECT_TRUE(messages.shown.empty()) << stops << " stops: " << messages.shown[0].text;
        EXPECT_FALSE(run.isRunning());
        run.stop(); // nothing left to stop
        EXPECT_EQ(journal.size(), 8u);
    }
}

// A stop that comes after the transcoder's own end (the closing question answered late) leaves
// the run's own box: its failure or its warnings.
TEST_F(TranscodeRunTest, AStopAfterTheTranscodersOwnEndKeepsTheRunsBox)
{
    struct Case {
        ProcessEnd end;
        const char* output;
        bool writesTarget;
        const char* boxStart;
    };
    for (const Case& c : {Case{ProcessEnd::exited(1), "besweet: kaputt\n", false,
                               "BeSweet wurde mit Fehlercode 1 beendet."},
                          Case{ProcessEnd::exited(0), "besweet: warning: 44100 Hz\n", true,
                               "Transcode beendet, mit Warnungen:"}}) {
        messages.shown.clear();
        files.existing.clear();
        launcher.endsBeforeStop = true;
        launcher.end = c.end;
        launcher.output = c.output;
        launcher.duringWait = [&] {
            if (c.writesTarget)
                files.write(Target);
            run.stop();
        };
        click();
        ASSERT_EQ(messages.shown.size(), 1u) << c.boxStart;
        EXPECT_TRUE(messages.shown[0].text.starts_with(c.boxStart)) << messages.shown[0].text;
    }
}

// The typed target's extension picks the encoder; another one leaves the stored type in charge.
struct TypedTargetCase {
    std::string target;
    std::string storedType;
    std::string encoder;
};

void PrintTo(const TypedTargetCase& c, std::ostream* os)
{
    *os << c.target << " with " << c.storedType;
}

class TypedTargetTest : public TranscodeRunTest, public testing::WithParamInterface<TypedTargetCase>
{
};

TEST_P(TypedTargetTest, TheTargetsOwnTypeDecidesTheEncoder)
{
    window.controls.outputFile = GetParam().target;
    settings.saveText(SettingKey::OutputType, GetParam().storedType);
    launcher.duringWait = [this] { files.write(GetParam().target); };
    click();
    EXPECT_NE(std::ranges::find(launcher.arguments, GetParam().encoder), launcher.arguments.end());
    EXPECT_EQ(settings.readText(SettingKey::OutputType), GetParam().storedType) << "stored anew";
}

INSTANTIATE_TEST_SUITE_P(Targets, TypedTargetTest,
                         testing::Values(TypedTargetCase{"/dvd/film.ac3", "mpa", "-ac3enc("},
                                         TypedTargetCase{"/dvd/film.AC3", "mpa", "-ac3enc("},
                                         TypedTargetCase{"/dvd/film.Mpa", "ac3", "-toolame("},
                                         TypedTargetCase{"/dvd/film.mp2", "mpa", "-toolame("},
                                         TypedTargetCase{"/dvd/film.mp2", "ac3", "-toolame("},
                                         TypedTargetCase{"/dvd.ac3/film", "mpa", "-toolame("}));

TEST_F(TranscodeRunTest, WithoutAStoredPathTheBundledTranscoderRunsAndTheStoredOneWins)
{
    run.setBundledTranscoder([] { return std::optional<std::string>("/usr/bin/besweet"); });
    settings.saveText(SettingKey::Besweet, "");
    click();
    EXPECT_EQ(journal, LaunchAndEnd) << "asked for a transcoder";
    EXPECT_EQ(launcher.arguments.at(0), "/usr/bin/besweet");
    EXPECT_EQ(storedTranscoder(), "") << "the bundled path is not stored";

    settings.saveText(SettingKey::Besweet, Transcoder);
    click();
    EXPECT_EQ(launcher.arguments.at(0), Transcoder);

    run.setBundledTranscoder([] { return std::optional<std::string>(); });
    settings.saveText(SettingKey::Besweet, "");
    click();
    EXPECT_EQ(journal, (Journal{"message: Besweet.exe suchen", "file dialog"}));
}

} // namespace
