// SPDX-License-Identifier: GPL-3.0-or-later
// The time-line rule on made-up packet stamps: every sample that goes in comes out once and in
// order, silence only for a hole the packets after it confirm, only a short repetition of the
// same packets dropped (stamps that fall behind without one are drift, kept), and each change
// said where it is.
#include "input/Timeline.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace besweet
{
namespace
{

constexpr int Rate = 48000;
constexpr int Frame = 1152; // sample frames per packet
constexpr double Length = static_cast<double>(Frame) / Rate;
constexpr double T = 200 * Length;              // 4.8 s: where each change is
constexpr double Wrap = 8589934592.0 / 90000.0; // 2^33 ticks of 90 kHz
using Stamps = std::vector<std::optional<double>>;
using Kind = StampRule::Note::Kind;

// 200 packets in line from a, then 200 from b; count of them from the one at moved on, by.
Stamps stamps(double a, double b, int moved = 0, int count = 0, double by = 0.0)
{
    Stamps all;
    for (int i = 0; i < 400; ++i)
        all.emplace_back((i < 200 ? a : b - T) + i * Length +
                         (i >= moved && i < moved + count ? by : 0));
    return all;
}

// 400 packets whose stamps run slow by the share: each one's stamp falls further behind.
Stamps drifting(double share)
{
    Stamps all;
    for (int i = 0; i < 400; ++i)
        all.emplace_back(1.0 + i * Length * (1.0 - share));
    return all;
}

// The first packet of drifting(share) whose stamp is out of line (see tolerance in the rule).
double firstOutOfLine(double share)
{
    return std::floor(std::max(Length, 0.03) / (Length * share) + 1.0) * Length;
}

struct Rows {
    std::string name;
    Stamps in;
    double silence;    // seconds out that are no input, all at the first note
    std::int64_t drop; // sample frames of input not out
    std::vector<Kind> notes;
    double noteAt;                 // where the first note says it is, in seconds of output
    std::vector<int> repeats = {}; // the packets the same as one already taken at their stamp
};

void PrintTo(const Rows& r, std::ostream* os)
{
    *os << r.name;
}

class StampRules : public testing::TestWithParam<Rows>
{
};

TEST_P(StampRules, KeepEverySampleInOrder)
{
    const Rows& r = GetParam();
    StampRule rule;
    std::vector<std::int64_t> out; // each input sample's number where it comes out; -1 silence
    std::vector<StampRule::Note> notes;
    std::int64_t placed = 0;
    const auto takeReady = [&] {
        for (; rule.ready(); ++placed) {
            const StampRule::Place at = rule.take();
            out.insert(out.end(), std::llround(at.silence * Rate), -1);
            for (auto s = std::min<std::int64_t>(std::llround(at.drop * Rate), Frame); s < Frame;
                 ++s)
                out.push_back(placed * Frame + s);
        }
        for (const StampRule::Note& note : rule.takeNotes())
            notes.push_back(note);
    };
    for (std::size_t i = 0; i < r.in.size(); ++i) {
        rule.add({r.in[i], Length, std::ranges::count(r.repeats, static_cast<int>(i)) > 0});
        takeReady();
    }
    rule.end();
    takeReady();
    const auto silent = std::ranges::count(out, -1);
    EXPECT_EQ(silent, std::llround(r.silence * Rate));
    const auto firstSilent = std::ranges::find(out, -1) - out.begin();
    std::erase(out, -1);
    EXPECT_TRUE(std::ranges::is_sorted(out) && std::ranges::adjacent_find(out) == out.end());
    EXPECT_EQ(static_cast<std::int64_t>(out.size()), placed * Frame - r.drop);
    std::vector<Kind> said;
    for (const StampRule::Note& note : notes)
        said.push_back(note.kind);
    EXPECT_EQ(said, r.notes);
    if (!notes.empty()) {
        EXPECT_NEAR(notes.front().at, r.noteAt, 1e-6);
        if (silent > 0) {
            EXPECT_EQ(firstSilent, std::llround(r.noteAt * Rate));
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Timeline, StampRules, testing::Values(
    Rows{"in_line", stamps(1.4, 1.4 + T), 0, 0, {}, 0},
    Rows{"no_stamps", Stamps(400), 0, 0, {}, 0},
    Rows{"joined_at_the_same_stamps", stamps(1.4, 1.4), 0, 0, {Kind::NewTimeLine}, T},
    Rows{"joined_going_back_by_part", stamps(0, T - 2.0), 0, 0, {Kind::NewTimeLine}, T},
    Rows{"overlapping_by_a_frame_and_a_half", stamps(0, T - 1.5 * Length), 0, Frame * 3 / 2,
         {Kind::Overlap}, T, {200, 201}},
    Rows{"repeating_two_frames", stamps(0, T - 2 * Length), 0, Frame * 2, {Kind::Overlap}, T,
         {200, 201}},
    Rows{"going_back_two_frames_repeating_nothing", stamps(0, T - 2 * Length), 0, 0,
         {Kind::Drift}, T},
    Rows{"drifting_slow_by_half_a_percent", drifting(0.005), 0, 0, {Kind::Drift},
         firstOutOfLine(0.005)},
    Rows{"one_stamp_late", stamps(0, T, 200, 1, 5.0), 0, 0, {Kind::Damage}, T},
    Rows{"one_stamp_early", stamps(10, 10 + T, 200, 1, -5.0), 0, 0, {Kind::Damage}, T},
    Rows{"a_run_of_four_late", stamps(0, T, 200, 4, 40.0), 0, 0, {Kind::Damage}, T},
    Rows{"first_stamp_late", stamps(0, T, 0, 1, 30.0), 0, 0, {Kind::Damage}, 0},
    Rows{"last_stamp_late", stamps(0, T, 399, 1, 5.0), 0, 0, {Kind::Damage}, 399 * Length},
    Rows{"confirmed_hole", stamps(0, T + 3.0), 3.0, 0, {Kind::Hole}, T},
    Rows{"hole_within_the_limit", stamps(0, T + LongestHole - 1.0), LongestHole - 1.0, 0,
         {Kind::Hole}, T},
    Rows{"hole_past_the_limit", stamps(0, T + LongestHole + 1.0), 0, 0, {Kind::NewTimeLine}, T},
    Rows{"hole_with_a_late_stamp_after_it", stamps(0, T + 2.0, 260, 1, 9.0), 2.0, 0,
         {Kind::Hole, Kind::Damage}, T},
    Rows{"wrap_at_2_to_the_33", stamps(Wrap - T, 0), 0, 0, {Kind::NewTimeLine}, T}),
    [](const testing::TestParamInfo<Rows>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet
