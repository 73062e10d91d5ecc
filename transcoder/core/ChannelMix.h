// SPDX-License-Identifier: GPL-3.0-or-later
// How one channel layout is mixed into another: the input's check for a layout that cannot be
// mixed at all, and the resampler's weights.
#pragma once

#include "core/Text.h"

#include <optional>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace besweet
{

// The weights that mix in down (or up) to out: out.nb_channels rows of in.nb_channels. Every
// input channel reaches the output but a declared LFE channel, which a downmix leaves out:
// positions above or beside ear level are folded into the nearest one there. Throws WorkError
// for a layout that cannot be mixed.
[[nodiscard]] std::vector<double> mixMatrix(const AVChannelLayout& in, const AVChannelLayout& out,
                                            bool declared = true);
// Why a layout cannot be mixed down at all; nothing when it can.
[[nodiscard]] std::optional<Text> whyUnmixable(const AVChannelLayout& in);
// True for a position FFmpeg's downmix knows; every other position is folded into the nearest
// of them.
[[nodiscard]] bool isEarLevel(AVChannel channel);

} // namespace besweet
