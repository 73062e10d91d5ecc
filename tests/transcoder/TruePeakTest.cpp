// SPDX-License-Identifier: GPL-3.0-or-later
// The true-peak meter: peaks between the samples count, however the samples come in pieces, and
// the stretches it leaves out could never have raised the peak.
#include "level/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace besweet
{
namespace
{

struct PeakCase {
    const char* name;
    std::vector<float> samples;
    double samplePeak;
    double lowestTruePeak;
    double highestTruePeak;
};

void PrintTo(const PeakCase& c, std::ostream* os)
{
    *os << c.name;
}

// A quarter of the sample rate, crest halfway between two samples: the samples reach 0.707 of it.
std::vector<float> crestBetweenSamples(double amplitude, int count)
{
    std::vector<float> samples;
    for (int i = 0; i < count; ++i)
        samples.push_back(static_cast<float>(amplitude * std::sin(M_PI / 2 * i + M_PI / 4)));
    return samples;
}

// Silence around two equal samples: the crest between them is higher than both (about 0.88 of
// 0.707), and the filter reaches it only from the samples after them.
std::vector<float> crestAfter(std::size_t silence)
{
    std::vector<float> samples(silence, 0.0f);
    samples.push_back(static_cast<float>(std::sqrt(0.5)));
    samples.push_back(static_cast<float>(std::sqrt(0.5)));
    samples.resize(samples.size() + 300, 0.0f);
    return samples;
}

std::vector<float> joined(std::vector<float> first, const std::vector<float>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class MeasuresTruePeak : public testing::TestWithParam<PeakCase>
{
};

TEST_P(MeasuresTruePeak, InAnyPieces)
{
    const PeakCase& c = GetParam();
    std::optional<double> whole; // the peak of the samples taken at once
    // Pieces of these sizes in turn.
    const std::vector<std::vector<std::size_t>> cuts = {
        {c.samples.size()}, {1}, {7}, {100}, {100, 7, 33, 1}};
    for (const std::vector<std::size_t>& sizes : cuts) {
        SCOPED_TRACE(testing::PrintToString(sizes));
        TruePeak meter;
        std::size_t count = 0;
        for (std::size_t at = 0, n = 0; at < c.samples.size(); at += count, ++n) {
            count = std::min(sizes[n % sizes.size()], c.samples.size() - at);
            std::copy_n(c.samples.begin() + static_cast<std::ptrdiff_t>(at), count,
                        meter.reserve(count));
            meter.take(count);
        }
        EXPECT_NEAR(meter.samplePeak(), c.samplePeak, 1e-6);
        EXPECT_GE(meter.peak(), c.lowestTruePeak);
        EXPECT_LE(meter.peak(), c.highestTruePeak);
        // Each interpolated value is the same sum however the samples came.
        if (!whole)
            whole = meter.peak();
        EXPECT_EQ(meter.peak(), *whole);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(TruePeak, MeasuresTruePeak, testing::Values(
    PeakCase{"crest_between_samples", crestBetweenSamples(1.0, 4800), std::sqrt(0.5), 0.99, 1.01},
    // A steady level first: the later stretch has lower samples, yet a higher peak between them
    // (the steps in and out of the steady level ring to about 0.87).
    PeakCase{"higher_between_lower_samples",
             joined(joined(std::vector<float>(4800, 0.8f), std::vector<float>(4800, 0.0f)),
                    crestBetweenSamples(0.95, 4800)),
             0.8, 0.94, 1.1},
    // In pieces of 1, 7 and 100 samples the crest falls at or near the end of a piece.
    PeakCase{"crest_at_a_piece_boundary", crestAfter(98), std::sqrt(0.5), 0.85, 0.92},
    PeakCase{"crest_after_a_louder_piece",
             joined(std::vector<float>(100, 0.3f), crestAfter(98)), std::sqrt(0.5), 0.85, 0.92},
    PeakCase{"one_sample", {0.5f}, 0.5, 0.5, 0.6},
    PeakCase{"silence", std::vector<float>(1000, 0.0f), 0.0, 0.0, 0.0}),
    [](const testing::TestParamInfo<PeakCase>& info) { return info.param.name; });
// clang-format on

} // namespace
} // namespace besweet
