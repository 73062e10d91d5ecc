// SPDX-License-Identifier: GPL-3.0-or-later
// The reason a failed FFmpeg call gives in a refusal: the library's own words where its code says
// nothing a user can act on, never a bare internal number.
#include "cli/RunLog.h"
#include "core/Av.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

namespace besweet
{
namespace
{

std::string refusal(int code, const char* logged)
{
    RunLog log;
    sendLibraryMessagesTo(&log);
    if (logged)
        av_log(nullptr, AV_LOG_ERROR, "%s", logged);
    std::string text;
    try {
        check(code, Text{"o.ac3: encoding failed", "o.ac3: encoding failed"});
    } catch (const WorkError& error) {
        text = error.what();
    }
    sendLibraryMessagesTo(nullptr);
    return text;
}

TEST(FailureReason, IsTheLibrarysMessageWhereTheCodeSaysNothing)
{
    EXPECT_EQ(refusal(AVERROR(EINVAL), "Bit allocation failed. Try increasing the bitrate.\n"),
              "o.ac3: encoding failed: the bitrate is too low for this audio: choose a higher one "
              "(Bit allocation failed. Try increasing the bitrate)");
    // Taken once: the next failure does not repeat it.
    EXPECT_EQ(refusal(AVERROR(EINVAL), nullptr),
              "o.ac3: encoding failed: an internal error of the audio library (Invalid argument)");
    EXPECT_EQ(refusal(AVERROR(ENOSPC), "an older complaint\n"),
              "o.ac3: encoding failed: No space left on device (No space left on device)");
}

TEST(FailureReason, NamesNoBareInternalNumber)
{
    const std::string text = refusal(-16976906, nullptr);
    EXPECT_EQ(text.find("Error number"), std::string::npos) << text;
    EXPECT_NE(text.find("an internal error of the audio library"), std::string::npos) << text;
}

} // namespace
} // namespace besweet
