// SPDX-License-Identifier: GPL-3.0-or-later
// Amplitude ratios and decibels, both ways: full scale, the steps of 6 and 20 dB, and silence.
#include "Decibels.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace besweet
{
namespace
{

TEST(Decibels, RatioAndLevelConvertBothWays)
{
    constexpr double Silence = -std::numeric_limits<double>::infinity();
    const struct {
        double ratio;
        double decibels;
    } cases[] = {
        {1.0, 0.0}, {0.5, -6.0206}, {2.0, 6.0206}, {0.1, -20.0}, {0.95, -0.4455}, {0.0, Silence},
    };
    for (const auto& c : cases) {
        if (std::isinf(c.decibels)) {
            EXPECT_EQ(toDecibels(c.ratio), c.decibels);
            EXPECT_EQ(fromDecibels(c.decibels), c.ratio);
            continue;
        }
        EXPECT_NEAR(toDecibels(c.ratio), c.decibels, 1e-4) << c.ratio;
        EXPECT_NEAR(fromDecibels(c.decibels), c.ratio, 1e-4) << c.decibels;
        EXPECT_DOUBLE_EQ(fromDecibels(toDecibels(c.ratio)), c.ratio) << "there and back";
    }
}

} // namespace
} // namespace besweet
