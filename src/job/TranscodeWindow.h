// SPDX-License-Identifier: GPL-3.0-or-later
// What the transcode run needs of the main window: the controls' values at the moment of
// the run, and the few states it switches.
#pragma once

#include "job/RunOutcome.h"

#include <string>

namespace klangdorn
{

struct ControlValues {
    std::string inputFile;  // txtInputFile, unchanged
    std::string outputFile; // txtOutputFile, unchanged
    bool writeLog = false;  // each box ticked only when its state is 1
    bool showBesweet = false;
    bool inputRawPcm = false;
    bool resample = false;
    int normalize = 95;       // sldNormalize
    int inputSamplerate = -1; // selected positions, -1 when the edit text is no item
    int outputChannelmode = -1;
    int outputBitrate = -1;
};

class TranscodeWindow
{
public:
    virtual ~TranscodeWindow() = default;
    virtual ControlValues readControls() const = 0;
    virtual void setTranscodeEnabled(bool enabled) = 0;     // cmdTranscode
    virtual void setProgressTimerEnabled(bool enabled) = 0; // tmrProgress
    virtual void clearWaitBar() = 0;                        // picWaitBar
    // The run has ended so, after the box that tells it (if any) was closed.
    virtual void runEnded(const RunOutcome& /*outcome*/) {}
};

} // namespace klangdorn
