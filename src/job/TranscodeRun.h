// SPDX-License-Identifier: GPL-3.0-or-later
// The click on "Transcode": make sure the transcoder's location is known, check source and
// target, build the command line, ask before overwriting, start the transcoder and wait for
// its end with the window alive, then tell a run that failed or warned. A run can be stopped
// from within its wait (the window is closing).
#pragma once

#include "job/FileChoices.h"
#include "job/FileQuery.h"
#include "job/ProcessControl.h"
#include "job/RunNotice.h"
#include "job/RunOutcome.h"
#include "job/RuntimeError.h"
#include "job/TranscodeJob.h"
#include "job/TranscodeWindow.h"
#include "job/UserDialogs.h"
#include "settings/SettingsStore.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace klangdorn
{

// The job of one run: the controls' values, the transcoder path and the output type.
TranscodeJob GatherJob(const ControlValues& controls, const std::string& besweetPath,
                       const std::string& outputType);

// The texts of the run's message boxes.
namespace TranscodeMessages
{
Message besweetNotFound();
Message sourceOrTargetMissing();
Message sourceIsTarget();
Message overwriteTarget();
// Asked when the window is closed during a run.
Message stopRunningTranscode();
} // namespace TranscodeMessages

// The output type that picks the encoder: "ac3" or "mpa" when the target's name asks for an
// encoder (a file named ".ac3" must hold AC3), else the stored one.
std::string EncoderType(const std::string& target, const std::string& storedType);

// The transcoder that came with the program, when it is there and can be run.
using FindBundledTranscoder = std::function<std::optional<std::string>()>;

class TranscodeRun
{
public:
    TranscodeRun(TranscodeWindow& window, SettingsStore& settings, MessageBoxes& messages,
                 CommonDialog& dialog, ProcessLauncher& launcher, const FileQuery& files);

    // The whole reaction to the click; reports every failure itself and never throws.
    void cmdTranscode_Click();
    // Told of each run's end, before a box about it is shown.
    void setRunEndObserver(RunEndObserver* observer) { m_runEndObserver = observer; }

    // Used when no transcoder path is stored; without one, the user is asked.
    void setBundledTranscoder(FindBundledTranscoder find) { m_findBundled = std::move(find); }

    bool isRunning() const { return m_running != nullptr; }
    // Asks the running transcoder to end; the run then ends as stopped, without a box, unless
    // the transcoder had ended on its own already. Further stops change nothing.
    void stop();

private:
    void run();
    std::optional<std::string> transcoderPath();
    std::optional<std::string> askForTranscoder();
    bool sourceAndTargetGiven(const ControlValues& controls);
    bool targetMayBeWritten(const TranscodeJob& job);
    struct RunEnd {
        ProcessEnd end;
        std::optional<std::string> output;
        std::vector<std::string> warnings;
    };
    RunEnd launchAndWait(const std::vector<std::string>& arguments, const std::string& commandLine,
                         bool showWindow);
    void endWaiting();
    void reportOutcome(const RunEnd& runEnd, const std::string& target,
                       const TargetWatch& targetBefore);
    void reportError(const RuntimeError& error);

    TranscodeWindow& m_window;
    SettingsStore& m_settings;
    MessageBoxes& m_messages;
    CommonDialog& m_dialog;
    ProcessLauncher& m_launcher;
    const FileQuery& m_files;
    RunEndObserver* m_runEndObserver = nullptr;
    FindBundledTranscoder m_findBundled;
    RunningProcess* m_running = nullptr; // during the wait
    bool m_stopRequested = false;
};

} // namespace klangdorn
