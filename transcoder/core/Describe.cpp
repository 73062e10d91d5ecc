// SPDX-License-Identifier: GPL-3.0-or-later
// The texts for numbers and layouts.
#include "core/Describe.h"

#include "core/Decibels.h"

#include <cstdio>

namespace besweet
{

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", value);
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
