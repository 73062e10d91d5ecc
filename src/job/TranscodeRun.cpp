// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/TranscodeRun.h"

#include "common/TargetEncoder.h"

#include <string_view>

namespace klangdorn
{

TranscodeJob GatherJob(const ControlValues& controls, const std::string& besweetPath,
                       const std::string& outputType)
{
    TranscodeJob job;
    job.BesweetPath = besweetPath;
    job.InputFile = controls.inputFile;
    job.OutputFile = controls.outputFile;
    job.WriteLog = controls.writeLog;
    job.Normalize = controls.normalize;
    job.InputRAWPCM = controls.inputRawPcm;
    job.InputSamplerate = controls.inputSamplerate;
    job.Resample = controls.resample;
    job.OutputChannelmode = controls.outputChannelmode;
    job.OutputBitrate = controls.outputBitrate;
    job.OutputType = outputType;
    job.ShowBesweet = controls.showBesweet;
    return job;
}

namespace TranscodeMessages
{

namespace
{
Message warning(std::string_view first, std::string_view second, std::string_view caption,
                MessageButtons buttons = MessageButtons::Ok)
{
    return Message{std::string(first) + LineBreak + std::string(second), buttons,
                   MessageIcon::Exclamation, std::string(caption)};
}
} // namespace

Message besweetNotFound()
{
    return warning("Besweet.exe nicht gefunden.", "Bitte zuerst Pfad zu Besweet festlegen!",
                   "Besweet.exe suchen");
}

Message sourceOrTargetMissing()
{
    return warning("keine Quell- oder Zieldatei angegeben!",
                   "Bitte vor dem Transcoden Quelle und Ziel zuweisen!",
                   "Keine Quelle oder Ziel angegeben");
}

Message sourceIsTarget()
{
    return warning("Quell- und Zieldatei sind identisch!", "Bitte eine andere Zieldatei wählen!",
                   "Zieldatei ungültig");
}

Message overwriteTarget()
{
    return warning("Zieldatei existiert bereits! Möchten Sie diese", "wirklich überschreiben?",
                   "Zieldatei existiert bereits", MessageButtons::YesNo);
}

Message stopRunningTranscode()
{
    return warning("BeSweet transcodiert noch. Soll der Transcode abgebrochen",
                   "und Klangdorn beendet werden?", ApplicationTitle, MessageButtons::YesNo);
}

} // namespace TranscodeMessages

std::string EncoderType(const std::string& target, const std::string& storedType)
{
    const auto encoder = EncoderForTarget(target);
    if (!encoder)
        return storedType;
    return *encoder == TargetEncoder::Ac3 ? "ac3" : "mpa";
}

TranscodeRun::TranscodeRun(TranscodeWindow& window, SettingsStore& settings, MessageBoxes& messages,
                           CommonDialog& dialog, ProcessLauncher& launcher, const FileQuery& files)
    : m_window(window), m_settings(settings), m_messages(messages), m_dialog(dialog),
      m_launcher(launcher), m_files(files)
{
}

void TranscodeRun::cmdTranscode_Click()
{
    try {
        run();
    } catch (const RuntimeError& error) {
        reportError(error);
    }
}

void TranscodeRun::run()
{
    const auto besweetPath = transcoderPath();
    if (!besweetPath)
        return;
    const ControlValues controls = m_window.readControls();
    if (!sourceAndTargetGiven(controls))
        return;
    const TranscodeJob job =
        GatherJob(controls, *besweetPath,
                  EncoderType(controls.outputFile, m_settings.readText(SettingKey::OutputType)));
    // Built before any question, so a bad list position is reported first.
    const auto arguments = BuildArguments(job);
    const std::string commandLine = BuildCommandLine(job);
    if (!targetMayBeWritten(job))
        return;
    // An old target that is still the same file afterwards was not written by this run.
    const TargetWatch targetBefore(m_files, job.OutputFile);
    const RunEnd runEnd = launchAndWait(arguments, commandLine, job.ShowBesweet);
    reportOutcome(runEnd, job.OutputFile, targetBefore);
}

// The stored path, else the bundled transcoder, else the one the user picks now (stored at
// once); nothing on a cancel.
std::optional<std::string> TranscodeRun::transcoderPath()
{
    std::string path = m_settings.readText(SettingKey::Besweet);
    if (!path.empty())
        return path;
    if (m_findBundled) {
        if (auto bundled = m_findBundled())
            return bundled;
    }
    return askForTranscoder();
}

std::optional<std::string> TranscodeRun::askForTranscoder()
{
    m_messages.show(TranscodeMessages::besweetNotFound());
    return ChooseTranscoder(m_dialog, m_settings, FileChoiceTexts::BesweetSearchTitle);
}

bool TranscodeRun::sourceAndTargetGiven(const ControlValues& controls)
{
    if (!controls.inputFile.empty() && !controls.outputFile.empty())
        return true;
    m_messages.show(TranscodeMessages::sourceOrTargetMissing());
    return false;
}

bool TranscodeRun::targetMayBeWritten(const TranscodeJob& job)
{
    if (m_files.isSameFile(job.InputFile, job.OutputFile)) {
        m_messages.show(TranscodeMessages::sourceIsTarget());
        return false;
    }
    if (!m_files.existsAsFile(job.OutputFile))
        return true;
    return m_messages.show(TranscodeMessages::overwriteTarget()) != MessageAnswer::No;
}

TranscodeRun::RunEnd TranscodeRun::launchAndWait(const std::vector<std::string>& arguments,
                                                 const std::string& commandLine, bool showWindow)
{
    m_window.setTranscodeEnabled(false);
    m_window.setProgressTimerEnabled(true);
    const auto process = m_launcher.launch(arguments, commandLine, showWindow);
    m_stopRequested = false;
    m_running = process.get();
    const ProcessEnd end = m_launcher.fAppControl(*process);
    m_running = nullptr;
    endWaiting();
    return {end, process->lastOutput(), process->warnings()};
}

void TranscodeRun::stop()
{
    // Asked once, the run ends as stopped: a later stop would find the transcoder ended of
    // the first and take that end for one of its own.
    if (!m_running || m_stopRequested)
        return;
    // A run that ended on its own before the stop keeps its failure or warnings box.
    m_stopRequested = m_running->stop();
}

void TranscodeRun::endWaiting()
{
    m_window.setProgressTimerEnabled(false);
    m_window.setTranscodeEnabled(true);
    m_window.clearWaitBar();
}

void TranscodeRun::reportOutcome(const RunEnd& runEnd, const std::string& target,
                                 const TargetWatch& targetBefore)
{
    const RunOutcome outcome = DecideOutcome(runEnd.end, targetBefore.written(), runEnd.output,
                                             runEnd.warnings, m_stopRequested);
    const auto message = OutcomeMessage(outcome);
    // A run the user stopped is no news to the desktop; one that ended with warnings ended well.
    const bool failed =
        outcome.kind == RunOutcome::Kind::Failed || outcome.kind == RunOutcome::Kind::Signalled;
    if (m_runEndObserver && outcome.kind != RunOutcome::Kind::Stopped)
        m_runEndObserver->runEnded(target, failed ? message : std::nullopt);
    if (message)
        m_messages.show(*message);
    m_window.runEnded(outcome);
}

void TranscodeRun::reportError(const RuntimeError& error)
{
    if (error.number() == ErrorNumber::DialogCancelled)
        return;
    m_window.setProgressTimerEnabled(false);
    m_window.setTranscodeEnabled(true);
    m_messages.show(ErrorMessage(error));
}

} // namespace klangdorn
