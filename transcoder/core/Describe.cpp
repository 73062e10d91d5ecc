// SPDX-License-Identifier: GPL-3.0-or-later
// The texts for numbers and layouts.
#include "core/Describe.h"

#include "core/Decibels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace besweet
{

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", value);
    return text;
}

std::string clockTime(double seconds, ClockForm form)
{
    const double known = std::isfinite(seconds) ? std::clamp(seconds, 0.0, 1e8) : 0.0;
    const long long tenths = std::llround(known * 10.0);
    const long long hours = tenths / 36000;
    const long long minutes = tenths / 600 % 60;
    const long long rest = tenths % 600;
    char text[48];
    if (form == ClockForm::Place || hours > 0)
        std::snprintf(text, sizeof text,
                      form == ClockForm::Place ? "%02lld:%02lld:%02lld.%lld"
                                               : "%lld:%02lld:%02lld.%lld",
                      hours, minutes, rest / 10, rest % 10);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%lld", minutes, rest / 10, rest % 10);
    return text;
}

std::string decibels(double linear)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", toDecibels(linear));
    return text;
}

std::string layoutName(const AVChannelLayout& layout)
{
    char text[64] = {};
    av_channel_layout_describe(&layout, text, sizeof text);
    return text;
}

} // namespace besweet
