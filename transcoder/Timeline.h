// SPDX-License-Identifier: GPL-3.0-or-later
// The time line of an input whose container stamps each frame with its time (TS, PS/VOB,
// Matroska, MP4): where the stamps leave a hole, silence of its length keeps the sound after it
// in step with the picture; audio stamped over what came before is dropped. Other inputs are
// taken as one unbroken run of samples.
#pragma once

#include "Av.h"
#include "Input.h"
#include "RunLog.h"

#include <cstdint>
#include <optional>
#include <string>

namespace besweet
{

class Timeline
{
public:
    // log (when given) says where a hole was filled or audio dropped.
    Timeline(const Input& input, RunLog* log);

    struct Step {
        std::int64_t silence = 0; // sample frames of silence to put before the frame
        std::int64_t drop = 0;    // sample frames to drop from the frame's start
    };
    // Where the frame goes: after silence, or partly (or wholly) dropped.
    [[nodiscard]] Step place(const AVFrame& frame);
    // Says what the last frames' overlap dropped, when the input ends in it.
    void finish();

private:
    void reportDropped();

    bool stamped_;
    AVRational timeBase_;
    RunLog* log_;
    std::optional<double> first_; // the first frame's stamp, in seconds
    double next_ = 0.0;           // where the next frame belongs, in seconds
    double dropped_ = 0.0;        // seconds of overlap dropped and not yet reported
    double droppedAt_ = 0.0;      // where they were stamped
};

// Says in the log where the audio starts against the recording's other streams, in ms: the DVD
// muxer needs a late start to keep sound and picture in step.
void logAudioStart(const Input& input, RunLog& log);

// "00:01:03.5"
[[nodiscard]] std::string clockTime(double seconds);

// A frame of the other's format, layout and rate holding samples of silence.
[[nodiscard]] FramePtr silenceLike(const AVFrame& other, int samples);
// The frame without its first samples.
[[nodiscard]] FramePtr withoutStart(const AVFrame& frame, int samples);

} // namespace besweet
