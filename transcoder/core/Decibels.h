// SPDX-License-Identifier: GPL-3.0-or-later
// Levels as amplitude ratios and as decibels, converted here only.
#pragma once

#include <cmath>

namespace besweet
{

// An amplitude ratio in dB: full scale (1) gives 0, half of it -6.02, silence minus infinity.
[[nodiscard]] inline double toDecibels(double ratio)
{
    return 20.0 * std::log10(ratio);
}

// The amplitude ratio of a level in dB: 0 gives full scale (1), minus infinity silence.
[[nodiscard]] inline double fromDecibels(double decibels)
{
    return std::pow(10.0, decibels / 20.0);
}

} // namespace besweet
