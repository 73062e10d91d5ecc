// SPDX-License-Identifier: GPL-3.0-or-later
// The summary line's figures, one decimal each, and the length in minutes and seconds.
#include "level/SummaryLine.h"

#include "core/Decibels.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace besweet
{

namespace
{

std::string oneDecimal(double value)
{
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char formatted[32];
    std::snprintf(formatted, sizeof formatted, "%.1f", value);
    return formatted;
}

// "3:25.4", or "1:02:03.4" from an hour on.
std::string lengthText(double seconds)
{
    const auto tenths = static_cast<long long>(std::llround(seconds * 10.0));
    const long long minutes = tenths / 600;
    const double rest = static_cast<double>(tenths % 600) / 10.0;
    char formatted[48];
    if (minutes >= 60)
        std::snprintf(formatted, sizeof formatted, "%lld:%02lld:%04.1f", minutes / 60, minutes % 60,
                      rest);
    else
        std::snprintf(formatted, sizeof formatted, "%lld:%04.1f", minutes, rest);
    return formatted;
}

} // namespace

Text summaryLine(double seconds, const LoudnessFigures& figures, double truePeak)
{
    if (truePeak < 0.0)
        return text("Delivered: %s, %s LUFS, LRA %s LU", lengthText(seconds),
                    oneDecimal(figures.integrated), oneDecimal(figures.range));
    return text("Delivered: %s, %s LUFS, LRA %s LU, %s dBTP", lengthText(seconds),
                oneDecimal(figures.integrated), oneDecimal(figures.range),
                oneDecimal(toDecibels(truePeak)));
}

} // namespace besweet
