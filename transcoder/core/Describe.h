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
// How a time from the start of the audio is written: always with hours for a place in the
// input ("00:01:02.4"), or from the minutes for a length ("1:02.4", "1:02:03.4" from an hour on).
enum class ClockForm { Place, Length };
// A time to the nearest tenth of a second; nothing before the start nor beyond a few years (a
// broken time stamp), and a time that is no number at the start.
[[nodiscard]] std::string clockTime(double seconds, ClockForm form = ClockForm::Place);
// "-3.01 dB" for a linear factor.
[[nodiscard]] std::string decibels(double linear);
// FFmpeg's name for a layout: "stereo", "5.1(side)".
[[nodiscard]] std::string layoutName(const AVChannelLayout& layout);

} // namespace besweet
