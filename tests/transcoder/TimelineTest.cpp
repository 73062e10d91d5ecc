// SPDX-License-Identifier: GPL-3.0-or-later
// The time-line rule on made-up packet stamps: every sample that goes in comes out once and in
// order, silence only for a hole the packets after it confirm, and only a short repetition is
// dropped; each change is said.
#include "Timeline.h"

#include <cmath>
#include <gtest/gtest.h>

namespace besweet
{
namespace
{

constexpr int Rate = 48000;
constexpr int FrameSamples = 1152;
constexpr double FrameSeconds = static_cast<double>(FrameSamples) / Rate;
constexpr double Wrap = 8589934592.0 / 90000.0; // 2^33 ticks of 90 kHz
using Kind = StampRule::Note::Kind;

// count packets stamped one after the other from start.
std::vector<std::optional<double>> line(double start, int count)
{
    std::vector<std::optional<double>> stamps;
    for (int i = 0; i < count; ++i)
        stamps.emplace_back(start + i * FrameSeconds);
    return stamps;
}

std::vector<std::optional<double>> joined(std::vector<std::optional<double>> first,
                                          const std::vector<std::optional<double>>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::vector<std::optional<double>> moved(std::vector<std::optional<double>> stamps, int from,
                                         int count, double by)
{
    for (int i = from; i < from + count; ++i)
        *stamps[static_cast<std::size_t>(i)] += by;
    return stamps;
}

struct Rows {
    std::string name;
    std::vector<std::optional<double>> stamps;
    std::int64_t silence;    // sample frames of silence out
    std::int64_t silenceAt;  // where it starts in the output
    std::int64_t dropped;    // sample frames of input not out
    std::vector<Kind> notes; // what is said, in order
    double firstNoteAt;      // where the first is said to be, in seconds of output
};

void PrintTo(const Rows& r, std::ostream* os)
{
    *os << r.name;
}

// Each input sample's number where it comes out, -1 for silence.
struct Outcome {
    std::vector<std::int64_t> samples;
    std::vector<StampRule::Note> notes;
};

Outcome place(const std::vector<std::optional<double>>& stamps)
{
    StampRule rule;
    Outcome outcome;
    std::int64_t placed = 0;
    const auto takeReady = [&] {
        while (rule.ready()) {
            const StampRule::Place at = rule.take();
            outcome.samples.insert(outcome.samples.end(), std::llround(at.silence * Rate), -1);
            const auto drop = std::min<std::int64_t>(std::llround(at.drop * Rate), FrameSamples);
            for (std::int64_t s = drop; s < FrameSamples; ++s)
                outcome.samples.push_back(placed * FrameSamples + s);
            ++placed;
        }
        for (const StampRule::Note& note : rule.takeNotes())
            outcome.notes.push_back(note);
    };
    for (const auto& stamp : stamps) {
        rule.add({stamp, FrameSeconds});
        takeReady();
    }
    rule.end();
    takeReady();
    EXPECT_EQ(placed, static_cast<std::int64_t>(stamps.size()));
    return outcome;
}

class StampRules : public testing::TestWithParam<Rows>
{
};

TEST_P(StampRules, KeepEverySampleInOrder)
{
    const Rows& r = GetParam();
    const Outcome out = place(r.stamps);
    const auto in = static_cast<std::int64_t>(r.stamps.size()) * FrameSamples;
    std::int64_t silence = 0;
    std::int64_t firstSilence = -1;
    std::int64_t last = -1;
    std::int64_t kept = 0;
    for (std::size_t i = 0; i < out.samples.size(); ++i) {
        const std::int64_t sample = out.samples[i];
        if (sample < 0) {
            if (firstSilence < 0)
                firstSilence = static_cast<std::int64_t>(i);
            ++silence;
            continue;
        }
        ASSERT_GT(sample, last) << "out of order at " << i;
        last = sample;
        ++kept;
    }
    EXPECT_EQ(silence, r.silence);
    if (r.silence > 0) {
        EXPECT_EQ(firstSilence, r.silenceAt);
    }
    EXPECT_EQ(kept, in - r.dropped);
    std::vector<Kind> said;
    for (const StampRule::Note& note : out.notes)
        said.push_back(note.kind);
    EXPECT_EQ(said, r.notes);
    if (!out.notes.empty()) {
        EXPECT_NEAR(out.notes.front().at, r.firstNoteAt, 1e-6);
    }
}

const double T = 200 * FrameSeconds; // 4.8 s, where the changes are
const std::int64_t At = 200 * FrameSamples;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Timeline, StampRules, testing::Values(
    Rows{"in_line", line(1.4, 400), 0, 0, 0, {}, 0.0},
    Rows{"no_stamps", std::vector<std::optional<double>>(100), 0, 0, 0, {}, 0.0},
    Rows{"joined_at_the_same_stamps", joined(line(1.4, 200), line(1.4, 200)), 0, 0, 0,
         {Kind::NewTimeLine}, T},
    Rows{"joined_going_back_by_part", joined(line(0, 200), line(T - 2.0, 200)), 0, 0, 0,
         {Kind::NewTimeLine}, T},
    Rows{"overlapping_by_a_frame_and_a_half", joined(line(0, 200), line(T - 1.5 * FrameSeconds, 200)),
         0, 0, FrameSamples * 3 / 2, {Kind::Overlap}, T},
    Rows{"one_stamp_late", moved(line(0, 400), 200, 1, 5.0), 0, 0, 0, {Kind::Damage}, T},
    Rows{"one_stamp_early", moved(line(10, 400), 200, 1, -5.0), 0, 0, 0, {Kind::Damage}, T},
    Rows{"a_run_of_four_late", moved(line(0, 400), 200, 4, 40.0), 0, 0, 0, {Kind::Damage}, T},
    Rows{"first_stamp_late", moved(line(0, 400), 0, 1, 30.0), 0, 0, 0, {Kind::Damage}, 0.0},
    Rows{"last_stamp_late", moved(line(0, 400), 399, 1, 5.0), 0, 0, 0, {Kind::Damage},
         399 * FrameSeconds},
    Rows{"confirmed_hole", joined(line(0, 200), line(T + 3.0, 200)), 3 * Rate, At, 0,
         {Kind::Hole}, T},
    Rows{"hole_within_the_limit", joined(line(0, 200), line(T + LongestHole - 1.0, 200)),
         static_cast<std::int64_t>(LongestHole - 1.0) * Rate, At, 0, {Kind::Hole}, T},
    Rows{"hole_past_the_limit", joined(line(0, 200), line(T + LongestHole + 1.0, 200)), 0, 0, 0,
         {Kind::NewTimeLine}, T},
    Rows{"hole_with_a_late_stamp_after_it",
         moved(joined(line(0, 200), line(T + 2.0, 200)), 260, 1, 9.0), 2 * Rate, At, 0,
         {Kind::Hole, Kind::Damage}, T},
    Rows{"wrap_at_2_to_the_33", joined(line(Wrap - T, 200), line(0.0, 200)), 0, 0, 0,
         {Kind::NewTimeLine}, T}),
    [](const testing::TestParamInfo<Rows>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet
