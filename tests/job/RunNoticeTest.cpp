// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RunNotice.h"

#include "job/RunProgress.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace klangdorn;

namespace
{

struct PercentCase {
    const char* line;
    std::optional<int> percent;
};

class RunPercentTest : public testing::TestWithParam<PercentCase>
{
};

TEST_P(RunPercentTest, TheLineTellsTheShareOfTheWholeRun)
{
    EXPECT_EQ(RunPercentOf(GetParam().line), GetParam().percent) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RunPercentTest,
    testing::Values(PercentCase{"Pass 1/1: encoding 40%", 40},
                    PercentCase{"Pass 1/2: measuring the peak  30%", 15},
                    PercentCase{"Pass 2/2: encoding 100%", 100},
                    PercentCase{"Durchgang 2/2: Kodieren 50%  ", 75}, PercentCase{"encoding 7%", 7},
                    PercentCase{"besweet: warning: level 95% of full scale", std::nullopt},
                    PercentCase{"Pass 1/2: measuring the peak", std::nullopt},
                    PercentCase{"gain 1234%", std::nullopt}, PercentCase{"", std::nullopt}));

// Chunks cut anywhere, lines ended by a line feed or rewritten after a carriage return.
TEST(RunProgress, FollowsTheOutputAsItComes)
{
    RunProgress progress;
    EXPECT_FALSE(progress.append("Input: clip.wav\nPass 2/2: enco"));
    EXPECT_EQ(progress.percent(), std::nullopt);
    EXPECT_TRUE(progress.append("ding 10%\n"));
    EXPECT_EQ(progress.percent(), 55);
    EXPECT_TRUE(progress.append("\rPass 2/2: encoding  20%\r"));
    EXPECT_EQ(progress.percent(), 60);
    EXPECT_FALSE(progress.append("Pass 2/2: encoding  20%\n"));
    progress.reset();
    EXPECT_EQ(progress.percent(), std::nullopt);
}

// The summary of a good run, however the output comes: cut anywhere, rewritten after a
// carriage return, between progress lines; the last one counts, and a new run starts without.
TEST(RunProgress, KeepsTheRunsSummary)
{
    const struct {
        std::vector<std::string> chunks;
        std::string summary;
    } cases[] = {
        {{"Pass 2/2: encoding 100%\nGeliefert: 3:25.4, -23.1 LU", "FS, LRA 6.2 LU, -1.3 dBTP\n"},
         "Geliefert: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP"},
        {{"Delivered: 0:01.0, -70.0 LUFS, LRA 0.0 LU, -60.2 dBTP\r\n"},
         "Delivered: 0:01.0, -70.0 LUFS, LRA 0.0 LU, -60.2 dBTP"},
        {{"Geliefert: 1:00.0, -30.0 LUFS, LRA 1.0 LU, -9.0 dBTP\rGeliefert: 1:00.0, -23.0 ",
          "LUFS, LRA 1.0 LU, -2.0 dBTP  \nPass 1/1: encoding 100%\n"},
         "Geliefert: 1:00.0, -23.0 LUFS, LRA 1.0 LU, -2.0 dBTP"},
        {{"Geliefert: 3:25.4, -23.1 LUFS, LRA 6.2 LU\n"},
         "Geliefert: 3:25.4, -23.1 LUFS, LRA 6.2 LU"},
        {{"besweet: warning: level -23 LUFS not reached\n"}, ""},
        {{"Pass 1/1: encoding 100%\n"}, ""},
    };
    for (const auto& run : cases) {
        RunProgress progress;
        for (const auto& chunk : run.chunks)
            progress.append(chunk);
        EXPECT_EQ(progress.summary(), run.summary) << run.chunks.front();
        progress.reset();
        EXPECT_EQ(progress.summary(), "");
    }
}

struct NoticeCase {
    const char* name;
    bool windowActive;
    std::optional<Message> failure;
    std::string summary;
    std::optional<DesktopNotice> notice;
};

class RunEndNoticeTest : public testing::TestWithParam<NoticeCase>
{
};

TEST_P(RunEndNoticeTest, OnlyARunEndingUnseenIsAnnounced)
{
    EXPECT_EQ(RunEndNotice(GetParam().windowActive, "/home/anna/DVD/film.ac3", GetParam().failure,
                           GetParam().summary),
              GetParam().notice);
}

const Message Failure{"BeSweet wurde mit Fehlercode 2 beendet.\r\nBitte die Ausgabe prüfen.",
                      MessageButtons::Ok, MessageIcon::Exclamation, "Transcode fehlgeschlagen",
                      "besweet: clip.wav: no audio stream"};

const std::string Summary = "Geliefert: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP";

INSTANTIATE_TEST_SUITE_P(
    Ends, RunEndNoticeTest,
    testing::Values(NoticeCase{"SuccessUnseen", false, std::nullopt, "",
                               DesktopNotice{"Transcode beendet", "film.ac3", "/home/anna/DVD",
                                             "/home/anna/DVD/film.ac3"}},
                    NoticeCase{"SuccessUnseenWithSummary", false, std::nullopt, Summary,
                               DesktopNotice{"Transcode beendet", "film.ac3\n" + Summary,
                                             "/home/anna/DVD", "/home/anna/DVD/film.ac3"}},
                    NoticeCase{"FailureUnseen", false, Failure, Summary,
                               DesktopNotice{"Transcode fehlgeschlagen",
                                             "BeSweet wurde mit Fehlercode 2 beendet.\n"
                                             "besweet: clip.wav: no audio stream",
                                             ""}},
                    NoticeCase{"SuccessInSight", true, std::nullopt, Summary, std::nullopt},
                    NoticeCase{"FailureInSight", true, Failure, "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
