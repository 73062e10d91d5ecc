// SPDX-License-Identifier: GPL-3.0-or-later
// How a run ended, told from the transcoder's end and what it last wrote: well, well but with
// warnings, failed, ended by a signal, or stopped by the user. And what the window says then.
#pragma once

#include "job/ProcessControl.h"
#include "job/UserDialogs.h"

#include <optional>
#include <string>
#include <vector>

namespace klangdorn
{

struct RunOutcome {
    enum class Kind { EndedWell, EndedWithWarnings, Failed, Signalled, Stopped };
    Kind kind = Kind::EndedWell;
    std::string reason{};                // a failure's first line
    std::string detail{};                // below it: the signal, what the transcoder last said
    std::vector<std::string> warnings{}; // the run's warnings, without their prefix
    friend bool operator==(const RunOutcome&, const RunOutcome&) = default;
};

// `targetWritten`: the target exists and is not the file it was before the run. `output`: the
// end of what the transcoder wrote, nothing when it was not collected. `warnings`: its
// warnings over the whole run; when none were collected, those in `output` count. A run the
// user stopped is stopped, however the transcoder ended.
RunOutcome DecideOutcome(const ProcessEnd& end, bool targetWritten,
                         const std::optional<std::string>& output,
                         const std::vector<std::string>& warnings, bool stoppedByUser);

// Where the user can read more of a run than its box tells: the console ("BeSweet zeigen") and
// the log ("Log schreiben"), when they were on.
struct RunOutputAids {
    bool console = false;
    std::string logFile{}; // empty: no log asked for
};

// The box shown after the run: a failure (with the warnings that came before it) or the
// warnings, each in the window's words; nothing after a silent good end or a stop. A failure
// points at the aids that were on, or says how to see more.
std::optional<Message> OutcomeMessage(const RunOutcome& outcome, const RunOutputAids& aids);

// The signal in German with its name: "Speicherzugriffsfehler (SIGSEGV)".
std::string SignalDescription(int signal);

namespace OutcomeTexts
{
inline constexpr const char* Failed = "Transcode fehlgeschlagen";
inline constexpr const char* CheckConsole = "Bitte die Ausgabe im Fenster „BeSweet“ prüfen.";
inline constexpr const char* CheckConsoleAndLog =
    "Bitte die Ausgabe im Fenster „BeSweet“ oder das Log prüfen: ";
inline constexpr const char* CheckLog = "Bitte das Log prüfen: ";
inline constexpr const char* SeeMore =
    "Für die ganze Ausgabe „BeSweet zeigen“ ankreuzen und erneut starten.";
inline constexpr const char* NoOutput = "BeSweet hat nichts ausgegeben.";
inline constexpr const char* EndedWithWarnings = "Transcode beendet, mit Warnungen:";
inline constexpr const char* WarningsBefore = "Zuvor gewarnt:";
} // namespace OutcomeTexts

} // namespace klangdorn
