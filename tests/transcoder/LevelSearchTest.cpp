// SPDX-License-Identifier: GPL-3.0-or-later
// The search for a normalised track's gain, from the encodes made (gains and decoded peaks in
// dB): the next gain, and what the warning on a track that misses the level says.
#include "encode/LevelSearch.h"

#include <gtest/gtest.h>

namespace besweet
{
namespace
{

struct Made {
    double gainDb;
    double peakDbfs;
};

std::vector<Encode> encodes(const std::vector<Made>& made)
{
    std::vector<Encode> done;
    for (const Made& m : made)
        done.push_back({fromDecibels(m.gainDb), fromDecibels(m.peakDbfs)});
    return done;
}

struct NextCase {
    const char* name;
    std::vector<Made> made;
    bool last;
    double gainDb; // expected next gain
};

void PrintTo(const NextCase& c, std::ostream* os)
{
    *os << c.name;
}

class NextGain : public testing::TestWithParam<NextCase>
{
};

// At 0.95 (-0.45 dBFS) the window runs from -0.74 to -0.36 dBFS and is aimed at -0.55.
TEST_P(NextGain, FollowsTheEncodesMade)
{
    const NextCase& c = GetParam();
    const Target target = targetFor(0.95, Codec::Ac3);
    EXPECT_NEAR(toDecibels(target.aim), -0.546, 0.005);
    EXPECT_NEAR(toDecibels(correctedGain(encodes(c.made), target, c.last)), c.gainDb, 0.01);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(LevelSearch, NextGain, testing::Values(
    NextCase{"one_miss_moves_one_to_one", {{0.0, -1.0}}, false, 0.454},
    NextCase{"two_below_follow_their_slope", {{0.0, -2.0}, {1.0, -1.4}}, false, 1.0 + 0.854 / 0.6},
    NextCase{"a_wild_slope_is_not_followed", {{0.0, -2.0}, {1.0, -1.9}}, false, 1.0 + 1.354},
    NextCase{"below_and_above_meet_on_the_line", {{0.0, -1.0}, {0.6, 0.2}}, false, 0.6 * 0.454 / 1.2},
    NextCase{"kept_a_quarter_from_either_end", {{0.0, -3.0}, {0.6, -0.3}}, false, 0.45},
    NextCase{"the_bracket_is_the_nearest_pair", {{0.0, -1.0}, {2.0, 1.0}, {0.6, 0.2}, {0.3, -0.8}}, false, 0.3 + 0.3 * 0.254 / 1.0},
    NextCase{"last_after_clipping_stays_under_the_worst", {{0.0, 0.5}, {-0.3, 0.3}}, true, -0.736 + 0.1 - 0.6}),
    [](const testing::TestParamInfo<NextCase>& info) { return info.param.name; });
// clang-format on

struct MissCase {
    const char* name;
    std::vector<Made> made;
    double keptDbfs;
    bool atFullScale;
    Missed says;
};

void PrintTo(const MissCase& c, std::ostream* os)
{
    *os << c.name;
}

class MissedLevel : public testing::TestWithParam<MissCase>
{
};

TEST_P(MissedLevel, SaysTheHighestLevelOnlyWhereItIs)
{
    const MissCase& c = GetParam();
    const Target target = targetFor(0.95, Codec::LayerII);
    EXPECT_EQ(howMissed(encodes(c.made), fromDecibels(c.keptDbfs), c.atFullScale, target), c.says);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(LevelSearch, MissedLevel, testing::Values(
    MissCase{"reached", {{0.0, -0.6}}, -0.6, false, Missed::Not},
    MissCase{"a_far_clip_is_no_limit", {{0.0, 0.40}, {-1.6, -1.23}, {-1.4, -1.03}}, -1.03, false, Missed::Nearest},
    MissCase{"a_closer_clip_is", {{0.0, 0.05}, {-0.5, -1.2}}, -1.2, false, Missed::HighestUnclipped},
    MissCase{"the_encoders_input_at_full_scale", {{0.0, -1.5}}, -1.5, true, Missed::HighestUnclipped},
    MissCase{"above_the_window_is_the_nearest", {{0.0, 0.3}, {-0.3, -0.2}}, -0.2, false, Missed::Nearest}),
    [](const testing::TestParamInfo<MissCase>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet
