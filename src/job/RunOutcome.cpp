// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RunOutcome.h"

#include "common/PathParts.h"
#include "job/OutputTail.h"
#include "job/WarningWords.h"

#include <array>
#include <csignal>
#include <string_view>

namespace klangdorn
{

namespace
{

struct SignalText {
    int number;
    std::string_view text;
};

// The signals a transcoder dies of in practice; Windows knows only the first six.
constexpr std::array signalTexts{
    SignalText{SIGSEGV, "Speicherzugriffsfehler (SIGSEGV)"},
    SignalText{SIGTERM, "Beendet (SIGTERM)"},
    SignalText{SIGABRT, "Abgebrochen (SIGABRT)"},
    SignalText{SIGFPE, "Arithmetischer Fehler (SIGFPE)"},
    SignalText{SIGILL, "Ungültiger Maschinenbefehl (SIGILL)"},
    SignalText{SIGINT, "Unterbrochen (SIGINT)"},
#ifndef _WIN32
    SignalText{SIGKILL, "Getötet (SIGKILL)"},
    SignalText{SIGHUP, "Aufgelegt (SIGHUP)"},
    SignalText{SIGQUIT, "Beenden erzwungen (SIGQUIT)"},
    SignalText{SIGBUS, "Busfehler (SIGBUS)"},
    SignalText{SIGPIPE, "Schreiben in eine geschlossene Pipe (SIGPIPE)"},
    SignalText{SIGXCPU, "CPU-Zeitgrenze überschritten (SIGXCPU)"},
    SignalText{SIGXFSZ, "Dateigrößengrenze überschritten (SIGXFSZ)"},
#endif
};

std::string failureReason(const ProcessEnd& end)
{
    if (end.kind == ProcessEnd::Kind::Exited && end.code != 0)
        return "BeSweet wurde mit Fehlercode " + std::to_string(end.code) + " beendet.";
    return "Die Zieldatei wurde nicht erstellt.";
}

std::string signalDetail(int signal, const std::optional<std::string>& output)
{
    std::string detail = SignalDescription(signal);
    if (output) {
        if (const std::string last = LastWords(*output, 1); !last.empty())
            detail += "\n" + last;
    }
    return detail;
}

std::string failureDetail(const std::optional<std::string>& output)
{
    if (!output)
        return {};
    const std::string words = LastWords(*output);
    return words.empty() ? std::string(OutcomeTexts::NoOutput) : words;
}

std::vector<std::string> inWindowWords(const std::vector<std::string>& warnings)
{
    std::vector<std::string> words;
    for (const auto& warning : warnings)
        words.push_back(InWindowWords(warning));
    return words;
}

std::string joined(const std::vector<std::string>& lines, std::string_view separator)
{
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty())
            text += separator;
        text += line;
    }
    return text;
}

// Where to read more: only what was on, else how to turn it on.
std::string whereToReadMore(const RunOutputAids& aids)
{
    const std::string log(bareNameOf(aids.logFile));
    if (aids.console)
        return log.empty() ? OutcomeTexts::CheckConsole : OutcomeTexts::CheckConsoleAndLog + log;
    return log.empty() ? OutcomeTexts::SeeMore : OutcomeTexts::CheckLog + log;
}

} // namespace

std::string SignalDescription(int signal)
{
    for (const auto& known : signalTexts) {
        if (known.number == signal)
            return std::string(known.text);
    }
    return "Signal " + std::to_string(signal);
}

RunOutcome DecideOutcome(const ProcessEnd& end, bool targetWritten,
                         const std::optional<std::string>& output,
                         const std::vector<std::string>& warnings, bool stoppedByUser)
{
    using Kind = RunOutcome::Kind;
    if (stoppedByUser)
        return {Kind::Stopped};
    auto said = warnings.empty() && output ? WarningLines(*output) : warnings;
    if (end.kind == ProcessEnd::Kind::Signalled)
        return {Kind::Signalled, "BeSweet wurde abgebrochen.",
                signalDetail(static_cast<int>(end.code), output), std::move(said)};
    const bool exitedWell = end.kind == ProcessEnd::Kind::Unknown || end.code == 0;
    if (!exitedWell || !targetWritten)
        return {Kind::Failed, failureReason(end), failureDetail(output), std::move(said)};
    if (said.empty())
        return {Kind::EndedWell};
    return {Kind::EndedWithWarnings, {}, {}, std::move(said)};
}

std::optional<Message> OutcomeMessage(const RunOutcome& outcome, const RunOutputAids& aids)
{
    switch (outcome.kind) {
    case RunOutcome::Kind::EndedWell:
    case RunOutcome::Kind::Stopped:
        return std::nullopt;
    case RunOutcome::Kind::EndedWithWarnings:
        return Message{std::string(OutcomeTexts::EndedWithWarnings) + LineBreak +
                           joined(inWindowWords(outcome.warnings), LineBreak),
                       MessageButtons::Ok, MessageIcon::Exclamation};
    case RunOutcome::Kind::Failed:
    case RunOutcome::Kind::Signalled:
        break;
    }
    std::string detail = outcome.detail;
    if (!outcome.warnings.empty())
        detail += (detail.empty() ? "" : "\n\n") + std::string(OutcomeTexts::WarningsBefore) +
                  "\n" + joined(inWindowWords(outcome.warnings), "\n");
    return Message{outcome.reason + LineBreak + whereToReadMore(aids), MessageButtons::Ok,
                   MessageIcon::Exclamation, OutcomeTexts::Failed, detail};
}

} // namespace klangdorn
