// SPDX-License-Identifier: GPL-3.0-or-later
// besweet's real progress lines read by the window's reader: the whole run's percentage never
// goes back, even when besweet adds passes to encode again, and ends at 100.
#include "job/RunProgress.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace
{

using namespace besweet::test;

struct ProgressCase {
    std::string name;
    double frequency;
    std::vector<std::string> sections;
    std::string lastPass; // the last pass the run announces
};

void PrintTo(const ProgressCase& c, std::ostream* os)
{
    *os << c.name;
}

class WindowReadsBesweetsProgress : public testing::TestWithParam<ProgressCase>
{
};

TEST_P(WindowReadsBesweetsProgress, NeverGoingBackAndEndingAt100)
{
    const ProgressCase& c = GetParam();
    ScratchFolder folder;
    Tone tone;
    tone.rate = 48000;
    tone.seconds = 0.5;
    tone.frequency = c.frequency;
    writeWav(folder / "in.wav", tone);
    const RunResult run =
        runBesweet(besweetArguments(folder / "in.wav", folder / "out.ac3", c.sections));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_NE(run.out.find(c.lastPass), std::string::npos) << run.out;

    // As a pipe hands it on: in pieces that cut lines anywhere.
    klangdorn::RunProgress reader;
    std::vector<int> shown;
    for (std::size_t at = 0; at < run.out.size(); at += 7)
        if (reader.append(std::string_view(run.out).substr(at, 7)))
            shown.push_back(*reader.percent());
    ASSERT_FALSE(shown.empty()) << run.out;
    EXPECT_TRUE(std::ranges::is_sorted(shown)) << run.out;
    EXPECT_EQ(shown.back(), 100) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, WindowReadsBesweetsProgress,
    testing::Values(ProgressCase{"one_pass", 440.0, {"-ac3enc(", "-b", "192", ")"}, "Pass 1/1"},
                    ProgressCase{"measured_and_encoded",
                                 440.0,
                                 {"-ota(", "-norm", "0.9", ")", "-ac3enc(", "-b", "192", ")"},
                                 "Pass 2/2"},
                    // Encoded four times: its first three encodes peak above full scale.
                    ProgressCase{"encoded_again",
                                 5500.0,
                                 {"-ota(", "-norm", "1", ")", "-ac3enc(", "-b", "32", ")"},
                                 "Pass 5/5"}));

} // namespace
