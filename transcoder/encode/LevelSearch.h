// SPDX-License-Identifier: GPL-3.0-or-later
// The search for the gain that brings a normalised track's decoded peak to the level asked: the
// window of peaks that reach it, which of two encodes to keep, the gain for the next encode from
// those made, and whether the track kept is the highest level that does not clip.
#pragma once

#include "cli/Options.h"
#include "core/Decibels.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace besweet
{

// Encodes made while the level is missed, the first included.
inline constexpr int MostEncodes = 4;

// The level asked, and the decoded peaks that count as reaching it: near it, never above full
// scale. The first encode aims at the middle of that window.
struct Target {
    double asked;
    double lowest;
    double highest;
    double aim;

    [[nodiscard]] bool reached(double peak) const { return peak >= lowest && peak <= highest; }
    // How far (dB) the peak lies outside the window; 0 inside.
    [[nodiscard]] double miss(double peak) const
    {
        if (peak <= 0.0)
            return 1e9;
        return std::max({0.0, toDecibels(lowest / peak), toDecibels(peak / highest)});
    }
};

// The window: 0.3 dB below the level to 0.1 dB above (never above full scale), aimed at its
// middle (PCM, written as measured, at the level itself).
[[nodiscard]] Target targetFor(double asked, Codec codec);

struct Encode {
    double gain;
    double peak; // decoded
};

// Of two finished encodes, the one to keep: one that does not clip over one that does, then the
// nearer to the level asked, then (both clipping) the lower.
[[nodiscard]] bool better(double peak, double than, const Target& target);

// The gain for the next encode, from those made; last: it is the last one allowed.
[[nodiscard]] double correctedGain(const std::vector<Encode>& done, const Target& target,
                                   bool last);

// What the warning on a kept track that misses the level says.
enum class Missed {
    Not,              // it reached the level
    Nearest,          // the nearest of the encodes made
    HighestUnclipped, // an encode that clipped came closer, or the encoder's input was full
};
[[nodiscard]] Missed howMissed(const std::vector<Encode>& done, double kept, bool atFullScale,
                               const Target& target);

} // namespace besweet
