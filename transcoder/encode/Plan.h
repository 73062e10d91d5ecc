// SPDX-License-Identifier: GPL-3.0-or-later
// The plan: what goes in and what comes out, decided once for both passes: the output's layout
// and rate, the mix matrix, and the table of output formats with their encoders.
#pragma once

#include "cli/Options.h"
#include "cli/RunLog.h"
#include "input/Input.h"

#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace besweet
{

struct Plan {
    AVChannelLayout inLayout{};
    int inRate = 0;
    AVChannelLayout outLayout{};
    int outRate = 0;
    // False when the input's channel positions are guessed from their count (no channel mask).
    bool positionsDeclared = true;
    std::vector<double> matrix; // outLayout.nb_channels rows of inLayout.nb_channels

    Plan() = default;
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;
    ~Plan()
    {
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
    }
};

void planConversion(Plan& plan, const Options& options, const Input& input, RunLog& log);

// The output format's encoder (null when this FFmpeg lacks it), its name in the log and in
// messages, and its muxer.
[[nodiscard]] const AVCodec* findEncoder(Codec codec);
[[nodiscard]] std::string encoderName(Codec codec);
[[nodiscard]] const char* muxerName(Codec codec);
[[nodiscard]] bool encoderTakesRate(const Options& options, const AVCodec& encoder, int rate);

} // namespace besweet
