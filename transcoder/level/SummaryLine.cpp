// SPDX-License-Identifier: GPL-3.0-or-later
// The summary line's figures, one decimal each, and the length in minutes and seconds, in the
// shape the window reads (common/RunSummary.h).
#include "level/SummaryLine.h"

#include "common/RunSummary.h"
#include "core/Decibels.h"
#include "core/Describe.h"

#include <cmath>
#include <cstdio>
#include <optional>
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

} // namespace

Text summaryLine(double seconds, const LoudnessFigures& figures, double truePeak)
{
    const std::string peak = truePeak < 0.0 ? std::string{} : oneDecimal(toDecibels(truePeak));
    return text("Delivered: %s",
                klangdorn::RunSummaryFigures(
                    clockTime(seconds, ClockForm::Length), oneDecimal(figures.integrated),
                    oneDecimal(figures.range),
                    truePeak < 0.0 ? std::nullopt : std::optional<std::string_view>{peak}));
}

} // namespace besweet
