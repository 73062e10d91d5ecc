// SPDX-License-Identifier: GPL-3.0-or-later
// The time a run still takes, told in coarse steps from the recent rate, on a clock of the test's.
#include "job/RemainingTime.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

using namespace klangdorn;

namespace
{

struct RemainingCase {
    const char* name;
    std::vector<std::pair<double, int>> readings; // seconds since the start, percent
    std::vector<std::string> told;                // after each reading
};

class RemainingTimeTest : public testing::TestWithParam<RemainingCase>
{
};

TEST_P(RemainingTimeTest, TellsTheTimeLeftOnlyWhenItCanAndWithoutWavering)
{
    SteadyTime now{};
    RemainingTime remaining([&] { return now; });
    std::vector<std::string> told;
    for (const auto& [seconds, percent] : GetParam().readings) {
        now = SteadyTime{} + std::chrono::duration_cast<SteadyTime::duration>(
                                 std::chrono::duration<double>(seconds));
        remaining.take(percent);
        told.push_back(remaining.words());
    }
    EXPECT_EQ(told, GetParam().told);
    remaining.start();
    EXPECT_EQ(remaining.words(), "") << "a new run starts without";
}

const std::string Nothing;

INSTANTIATE_TEST_SUITE_P(
    Runs, RemainingTimeTest,
    testing::Values(
        RemainingCase{"NotBeforeFivePercent", {{2, 2}, {4, 4}}, {Nothing, Nothing}},
        RemainingCase{"NotBeforeThreeSeconds", {{1, 10}, {2.9, 20}}, {Nothing, Nothing}},
        RemainingCase{"AlmostDone", {{4, 50}}, {"noch weniger als eine Minute"}},
        // 3.0, then 3.8 minutes: the neighbour above is not told.
        RemainingCase{"NoWaveringBetweenNeighbours",
                      {{20, 10}, {40, 15}},
                      {"noch etwa 3 Minuten", "noch etwa 3 Minuten"}},
        // 70 s, then 34.5 and 34 minutes as the run slows down: up to the step below.
        RemainingCase{"SlowerUpToTheStepBelow",
                      {{30, 30}, {60, 31}, {90, 32}},
                      {"noch etwa eine Minute", "noch etwa 20 Minuten", "noch etwa 20 Minuten"}},
        // 15.7 minutes, then 70 s: down at once.
        RemainingCase{"FasterDownAtOnce",
                      {{60, 6}, {70, 50}},
                      {"noch etwa 15 Minuten", "noch etwa eine Minute"}},
        // A fast first pass counts only while it is part of the last half minute.
        RemainingCase{"TheRecentRateCounts",
                      {{1, 33}, {2.5, 34}, {40, 37}},
                      {Nothing, Nothing, "noch etwa 15 Minuten"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RemainingWords, NamesTheNearestStep)
{
    const std::pair<double, const char*> steps[] = {{12.4 * 60, "noch etwa 10 Minuten"},
                                                    {70 * 60, "noch etwa eine Stunde"},
                                                    {80 * 60, "noch mehr als eine Stunde"}};
    for (const auto& [seconds, words] : steps)
        EXPECT_EQ(RemainingWords(RemainingStep(seconds)), words) << seconds;
}

} // namespace
