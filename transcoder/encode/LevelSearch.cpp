// SPDX-License-Identifier: GPL-3.0-or-later
// The level search's rules, each a small function of the encodes made so far.
#include "encode/LevelSearch.h"

#include "core/Decibels.h"

#include <algorithm>
#include <cmath>

namespace besweet
{

namespace
{

// Decoded peaks this close to the level asked reach it: 0.3 dB below it to 0.1 dB above, less a
// hair for rounding.
constexpr double BelowDecibels = 0.29;
constexpr double AboveDecibels = 0.09;

// Where one encode fell below the level and one at a higher gain above it, the next gain lies
// between the two: where the line between them meets the aim, kept a quarter of the way from
// either end, since the decoded peak follows the gain only roughly there.
std::optional<double> bracketedGain(const std::vector<Encode>& done, const Target& target)
{
    const Encode* below = nullptr;
    const Encode* above = nullptr;
    for (const Encode& e : done) {
        if (e.peak < target.lowest && (!below || e.gain > below->gain))
            below = &e;
        if (e.peak > target.highest && (!above || e.gain < above->gain))
            above = &e;
    }
    if (!below || !above || above->gain <= below->gain)
        return std::nullopt;
    const double span = toDecibels(above->gain / below->gain);
    const double share =
        toDecibels(target.aim / below->peak) / toDecibels(above->peak / below->peak);
    return below->gain * fromDecibels(span * std::clamp(share, 0.25, 0.75));
}

} // namespace

Target targetFor(double asked, Codec codec)
{
    const double askedDecibels = toDecibels(asked);
    const double lowest = askedDecibels - BelowDecibels;
    const double highest = std::min(askedDecibels + AboveDecibels, 0.0);
    // PCM is written as it is measured: the level itself.
    const double aim = codec == Codec::Wav ? askedDecibels : (lowest + highest) / 2.0;
    return {asked, fromDecibels(lowest), fromDecibels(highest), fromDecibels(aim)};
}

bool better(double peak, double than, const Target& target)
{
    if ((peak <= 1.0) != (than <= 1.0))
        return peak <= 1.0;
    if (peak > 1.0)
        return peak < than;
    return target.miss(peak) < target.miss(than);
}

// The gain for the next encode, from what the last ones gave: the last gain moved by the miss,
// along the slope (decoded dB per gain dB) between the last two encodes where that is a sane
// one, else one to one. A last encode after nothing but clipping ones aims at the bottom of the
// window with the highest peak per gain seen, so it does not clip again.
double correctedGain(const std::vector<Encode>& done, const Target& target, bool last)
{
    const Encode& latest = done.back();
    if (last && std::ranges::all_of(done, [](const Encode& e) { return e.peak > 1.0; })) {
        double worst = 0.0;
        for (const Encode& e : done)
            worst = std::max(worst, e.peak / e.gain);
        return target.lowest * fromDecibels(0.1) / worst;
    }
    if (const auto between = bracketedGain(done, target))
        return *between;
    double slope = 1.0;
    if (done.size() >= 2) {
        const Encode& before = done[done.size() - 2];
        const double gainStep = toDecibels(latest.gain / before.gain);
        const double peakStep = toDecibels(latest.peak / before.peak);
        if (std::fabs(gainStep) > 0.05 && peakStep / gainStep > 0.5 && peakStep / gainStep < 2.0)
            slope = peakStep / gainStep;
    }
    return latest.gain * fromDecibels(toDecibels(target.aim / latest.peak) / slope);
}

Missed howMissed(const std::vector<Encode>& done, double kept, bool atFullScale,
                 const Target& target)
{
    if (target.reached(kept))
        return Missed::Not;
    const double away = std::fabs(toDecibels(kept / target.asked));
    const bool clipCloser = std::ranges::any_of(done, [&](const Encode& e) {
        return e.peak > 1.0 && std::fabs(toDecibels(e.peak / target.asked)) < away;
    });
    return (atFullScale || clipCloser) && kept < target.lowest ? Missed::HighestUnclipped
                                                               : Missed::Nearest;
}

} // namespace besweet
