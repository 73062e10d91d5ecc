// SPDX-License-Identifier: GPL-3.0-or-later
// The plan: what goes in and what comes out, decided once for both passes: the output's layout
// and rate, the mix matrix, and the table of output formats with their encoders.
#pragma once

#include "cli/Options.h"
#include "input/Input.h"
#include "output/RunLog.h"

#include <optional>
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

// The weights that mix in down (or up) to out: out.nb_channels rows of in.nb_channels. Every
// input channel reaches the output but a declared LFE channel, which a downmix leaves out:
// positions above or beside ear level are folded into the nearest one there. Throws WorkError
// for a layout that cannot be mixed.
[[nodiscard]] std::vector<double> mixMatrix(const AVChannelLayout& in, const AVChannelLayout& out,
                                            bool declared = true);
// Why a layout cannot be mixed down at all; nothing when it can.
[[nodiscard]] std::optional<Text> whyUnmixable(const AVChannelLayout& in);

// The output format's encoder (null when this FFmpeg lacks it), its name in the log and in
// messages, and its muxer.
[[nodiscard]] const AVCodec* findEncoder(Codec codec);
[[nodiscard]] std::string encoderName(Codec codec);
[[nodiscard]] const char* muxerName(Codec codec);
[[nodiscard]] bool encoderTakesRate(const Options& options, const AVCodec& encoder, int rate);

} // namespace besweet
