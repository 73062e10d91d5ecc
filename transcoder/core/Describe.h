// SPDX-License-Identifier: GPL-3.0-or-later
// How numbers and layouts are written in the log and in messages.
#pragma once

#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace besweet
{

// "1.50 s"
[[nodiscard]] std::string seconds(double value);
// "-3.01 dB" for a linear factor.
[[nodiscard]] std::string decibels(double linear);
// FFmpeg's name for a layout: "stereo", "5.1(side)".
[[nodiscard]] std::string layoutName(const AVChannelLayout& layout);

} // namespace besweet
