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

struct Reading {
    double seconds; // since the start
    int percent;
    int pass = 1;
};

TEST(RemainingTime, TellsTheTimeLeftOnlyWhenItCanAndWithoutWavering)
{
    const std::string nothing;
    const struct {
        const char* name;
        std::vector<Reading> readings;
        std::vector<std::string> told; // after each reading
    } runs[] = {
        {"not before 5 %", {{2, 2}, {4, 4}}, {nothing, nothing}},
        {"not before 3 s", {{1, 10}, {2.9, 20}}, {nothing, nothing}},
        // 3.0, then 3.8 minutes: the neighbour above is not told.
        {"no wavering", {{20, 10}, {40, 15}}, {"noch etwa 3 Minuten", "noch etwa 3 Minuten"}},
        // 70 s, then 34.5 and 34 minutes as the run slows down: up to the step below.
        {"slower",
         {{30, 30}, {60, 31}, {90, 32}},
         {"noch etwa eine Minute", "noch etwa 20 Minuten", "noch etwa 20 Minuten"}},
        // 15.7 minutes, then 70 s: down at once.
        {"faster", {{60, 6}, {70, 50}}, {"noch etwa 15 Minuten", "noch etwa eine Minute"}},
        // A slower part counts once the faster one is more than half a minute ago.
        {"recent rate", {{1, 10}, {2.5, 11}, {40, 14}}, {nothing, nothing, "noch etwa 20 Minuten"}},
        // A pass of its own speed is measured from its start, after its own 3 s.
        {"new pass",
         {{1, 33}, {2, 34, 2}, {4, 35, 2}, {5, 35, 2}},
         {nothing, nothing, nothing, "noch etwa 3 Minuten"}},
        {"beyond an hour", {{10, 5}, {100, 6}}, {"noch etwa 3 Minuten", "noch etwa eine Stunde"}},
    };
    for (const auto& run : runs) {
        SteadyTime now{};
        RemainingTime remaining([&] { return now; });
        std::vector<std::string> told;
        for (const Reading& reading : run.readings) {
            now = SteadyTime{} + std::chrono::duration_cast<SteadyTime::duration>(
                                     std::chrono::duration<double>(reading.seconds));
            remaining.take(reading.percent, reading.pass);
            told.push_back(remaining.words());
        }
        EXPECT_EQ(told, run.told) << run.name;
        remaining.start();
        EXPECT_EQ(remaining.words(), "") << "a new run starts without";
    }
}

} // namespace
