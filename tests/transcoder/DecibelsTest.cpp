// SPDX-License-Identifier: GPL-3.0-or-later
// Levels as besweet writes them: a -norm share or a peak in the log's dB and in the summary's
// dBTP, silence included, and the summary line as the window reads it back; places and lengths
// in the messages' clock form.
#include "core/Decibels.h"

#include "common/RunSummary.h"
#include "core/Describe.h"
#include "level/SummaryLine.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace besweet
{
namespace
{

constexpr double Infinity = std::numeric_limits<double>::infinity();

// A share of full scale, as -norm takes it and a meter gives it, and how it is written.
TEST(Decibels, LevelsAreWrittenAsTheLogAndTheSummarySayThem)
{
    const struct {
        double share;
        const char* logged;  // the log's and the warnings' dB
        const char* summary; // the summary's true peak
    } cases[] = {
        {1.0, "0.00 dB", "0.0 dBTP"},        {0.95, "-0.45 dB", "-0.4 dBTP"},
        {0.5, "-6.02 dB", "-6.0 dBTP"},      {0.1, "-20.00 dB", "-20.0 dBTP"},
        {1.122, "1.00 dB", "1.0 dBTP"},      {0.0, "-inf dB", "-inf dBTP"},
        {1e-6, "-120.00 dB", "-120.0 dBTP"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decibels(c.share), c.logged) << c.share;
        const std::string line = summaryLine(60.0, {-23.0, 5.0}, c.share).english;
        EXPECT_TRUE(line.ends_with(std::string(", ") + c.summary)) << line;
        // The level read back from what is written gives the share again, to the digits written.
        const double back = fromDecibels(std::stod(c.logged));
        EXPECT_NEAR(back, c.share, c.share * 1.2e-3) << c.logged;
    }
    // Full scale asked is a window that ends at full scale, never above it.
    EXPECT_EQ(fromDecibels(toDecibels(1.0)), 1.0);
    EXPECT_EQ(fromDecibels(-Infinity), 0.0);
}

// What the transcoder writes at the end of a good run is what the window finds in its output.
TEST(Decibels, TheSummaryLineIsTheOneTheWindowReads)
{
    const struct {
        double seconds;
        LoudnessFigures figures;
        double truePeak; // < 0: none
        const char* line;
    } cases[] = {
        {205.4, {-23.1, 6.2}, 0.86, "Delivered: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP"},
        {205.4, {-23.1, 6.2}, -1.0, "Delivered: 3:25.4, -23.1 LUFS, LRA 6.2 LU"},
        {3723.44, {-31.04, 0.0}, 0.0, "Delivered: 1:02:03.4, -31.0 LUFS, LRA 0.0 LU, -inf dBTP"},
        {59.96, {-Infinity, 0.0}, 0.0, "Delivered: 1:00.0, -inf LUFS, LRA 0.0 LU, -inf dBTP"},
    };
    for (const auto& c : cases) {
        const std::string line = summaryLine(c.seconds, c.figures, c.truePeak).english;
        EXPECT_EQ(line, c.line);
        EXPECT_EQ(klangdorn::RunSummaryOf("Pass 1/1: encoding 100%\r" + line + "\n"), line);
    }
}

// Places in the input are written with hours, lengths from the minutes; either to the nearest
// tenth, nothing before the start, and a time stamp that is no number at the start.
TEST(Decibels, TimesAreWrittenInTheClockForm)
{
    const struct {
        double seconds;
        const char* place;
        const char* length;
    } cases[] = {
        {62.38, "00:01:02.4", "1:02.4"},       {62.34, "00:01:02.3", "1:02.3"},
        {59.96, "00:01:00.0", "1:00.0"},       {3725.0, "01:02:05.0", "1:02:05.0"},
        {-3.0, "00:00:00.0", "0:00.0"},        {std::nan(""), "00:00:00.0", "0:00.0"},
        {36000.0, "10:00:00.0", "10:00:00.0"}, {Infinity, "00:00:00.0", "0:00.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clockTime(c.seconds), c.place) << c.seconds;
        EXPECT_EQ(clockTime(c.seconds, ClockForm::Length), c.length) << c.seconds;
    }
}

} // namespace
} // namespace besweet
