// SPDX-License-Identifier: GPL-3.0-or-later
// besweet's real progress read by the window's reader: the whole run's percentage never goes
// back, even when besweet adds passes to encode again, and ends at 100.
#include "job/RunProgress.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace besweet::test;

TEST(WindowReadsBesweetsProgress, OfARunThatEncodesAgainNeverGoingBack)
{
    ScratchFolder folder;
    Tone tone;
    tone.rate = 48000;
    tone.seconds = 0.5;
    tone.frequency = 5500.0; // its first three encodes at 32 kbps peak above full scale
    writeWav(folder / "in.wav", tone);
    const RunResult run =
        runBesweet(besweetArguments(folder / "in.wav", folder / "out.ac3",
                                    {"-ota(", "-norm", "1", ")", "-ac3enc(", "-b", "32", ")"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_NE(run.out.find("Pass 5/5"), std::string::npos) << run.out;

    // As a pipe hands it on: in pieces that cut lines anywhere.
    klangdorn::RunProgress reader;
    std::vector<int> shown;
    for (std::size_t at = 0; at < run.out.size(); at += 7)
        if (reader.append(std::string_view(run.out).substr(at, 7)))
            shown.push_back(*reader.percent());
    ASSERT_GT(shown.size(), 10U) << run.out;
    EXPECT_TRUE(std::ranges::is_sorted(shown)) << run.out;
    EXPECT_EQ(shown.back(), 100) << run.out;
}
