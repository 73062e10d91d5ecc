// SPDX-License-Identifier: GPL-3.0-or-later
// Amplitude ratios and decibels, both ways: full scale, the steps of 6 and 20 dB, and silence.
#include "core/Decibels.h"

#include <gtest/gtest.h>
#include <limits>

namespace besweet
{
namespace
{

TEST(Decibels, RatioAndLevelConvertBothWays)
{
    const struct {
        double ratio;
        double decibels;
    } cases[] = {{1.0, 0.0}, {0.5, -6.0206}, {2.0, 6.0206}, {0.1, -20.0}, {0.95, -0.4455}};
    for (const auto& c : cases) {
        EXPECT_NEAR(toDecibels(c.ratio), c.decibels, 1e-4) << c.ratio;
        EXPECT_NEAR(fromDecibels(c.decibels), c.ratio, 1e-4) << c.decibels;
    }
    constexpr double Silence = -std::numeric_limits<double>::infinity();
    EXPECT_EQ(toDecibels(0.0), Silence);
    EXPECT_EQ(fromDecibels(Silence), 0.0);
}

} // namespace
} // namespace besweet
