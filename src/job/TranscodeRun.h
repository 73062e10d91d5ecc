// SPDX-License-Identifier: GPL-3.0-or-later
// The click on "Transcode": make sure the transcoder's location is known, check source and
// target, build the command line, ask before overwriting, start the transcoder and wait for
// its end with the window alive, then report a run that did not produce the target.
#pragma once

#include "job/FileChoices.h"
#include "job/FileQuery.h"
#include "job/ProcessControl.h"
#include "job/RunNotice.h"
#include "job/RuntimeError.h"
#include "job/TranscodeJob.h"
#include "job/TranscodeWindow.h"
#include "job/UserDialogs.h"
#include "settings/SettingsStore.h"

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
// Nothing when the run ended with exit code 0 and the target present. `output` is the end of
// what the transcoder wrote (nothing when it was not collected); its last words become the
// box's detail.
std::optional<Message> failedRun(const ProcessEnd& end, bool targetPresent,
                                 const std::optional<std::string>& output = std::nullopt);
inline constexpr const char* NoOutput = "BeSweet hat nichts ausgegeben.";
} // namespace TranscodeMessages

class TranscodeRun
{
public:
    TranscodeRun(TranscodeWindow& window, SettingsStore& settings, MessageBoxes& messages,
                 CommonDialog& dialog, ProcessLauncher& launcher, const FileQuery& files);

    // The whole reaction to the click; reports every failure itself and never throws.
    void cmdTranscode_Click();
    // Told of each run's end, before a box about it is shown.
    void setRunEndObserver(RunEndObserver* observer) { m_runEndObserver = observer; }

private:
    void run();
    std::optional<std::string> transcoderPath();
    std::optional<std::string> askForTranscoder();
    bool sourceAndTargetGiven(const ControlValues& controls);
    bool targetMayBeWritten(const TranscodeJob& job);
    struct RunEnd {
        ProcessEnd end;
        std::optional<std::string> output;
    };
    RunEnd launchAndWait(const std::vector<std::string>& arguments, const std::string& commandLine,
                         bool showWindow);
    void endWaiting();
    void reportFailedRun(const RunEnd& runEnd, const std::string& target,
                         const TargetWatch& targetBefore);
    void reportError(const RuntimeError& error);

    TranscodeWindow& m_window;
    SettingsStore& m_settings;
    MessageBoxes& m_messages;
    CommonDialog& m_dialog;
    ProcessLauncher& m_launcher;
    const FileQuery& m_files;
    RunEndObserver* m_runEndObserver = nullptr;
};

} // namespace klangdorn
