// SPDX-License-Identifier: GPL-3.0-or-later
// The polyphase filter, run in short segments: a segment whose samples (with the history the
// filter reaches back to) are too low to lift any interpolated value above the true peak so far
// is left out, which on most material spares most of the work.
#include "level/TruePeak.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace besweet
{

namespace
{

constexpr std::size_t Taps = TruePeak::History + 1;
constexpr std::size_t Segment = 16; // no shorter than the history, see take()

// The four phases of the interpolation filter, 12 taps each, newest sample last.
constexpr std::array<std::array<float, Taps>, 4> Phases{{
    {0.0017089843750f, 0.0109863281250f, -0.0196533203125f, 0.0332031250000f, -0.0594482421875f,
     0.1373291015625f, 0.9721679687500f, -0.1022949218750f, 0.0476074218750f, -0.0266113281250f,
     0.0148925781250f, -0.0083007812500f},
    {-0.0291748046875f, 0.0292968750000f, -0.0517578125000f, 0.0891113281250f, -0.1665039062500f,
     0.4650878906250f, 0.7797851562500f, -0.2003173828125f, 0.1015625000000f, -0.0582275390625f,
     0.0330810546875f, -0.0189208984375f},
    {-0.0189208984375f, 0.0330810546875f, -0.0582275390625f, 0.1015625000000f, -0.2003173828125f,
     0.7797851562500f, 0.4650878906250f, -0.1665039062500f, 0.0891113281250f, -0.0517578125000f,
     0.0292968750000f, -0.0291748046875f},
    {-0.0083007812500f, 0.0148925781250f, -0.0266113281250f, 0.0476074218750f, -0.1022949218750f,
     0.9721679687500f, 0.1373291015625f, -0.0594482421875f, 0.0332031250000f, -0.0196533203125f,
     0.0109863281250f, 0.0017089843750f},
}};

// The most each phase can make of samples no higher than 1: the sum of its taps' magnitudes
// (about 1.43 for the outer phases, 2.02 for the inner ones).
constexpr std::array<float, Phases.size()> phaseGains()
{
    std::array<float, Phases.size()> gains{};
    for (std::size_t p = 0; p < Phases.size(); ++p)
        for (const float tap : Phases[p])
            gains[p] += tap < 0 ? -tap : tap;
    return gains;
}
constexpr std::array<float, Phases.size()> PhaseGains = phaseGains();
constexpr float LargestGain = *std::max_element(PhaseGains.begin(), PhaseGains.end());

float peakOf(const float* samples, std::size_t count)
{
    float peak = 0.0f;
    for (std::size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

} // namespace

// The buffer only grows, so a frame's samples are not cleared before they are written.
float* TruePeak::reserve(std::size_t count)
{
    if (buffer_.size() < History + count)
        buffer_.resize(History + count);
    return buffer_.data() + History;
}

// segment[-History] onwards is readable: the history or the samples before. bound: the highest
// of those samples; a phase that cannot lift it above the true peak so far is left out. Where the
// processor has AVX2, eight sums are taken at once rather than four; each sum still adds its
// products one by one in the same order (no fused multiply-add), so the peak is the same. Defined
// before its first call, as clang makes a function several versions only there.
__attribute__((target_clones("avx2", "default"))) void
TruePeak::oversample(const float* segment, std::size_t count, float bound)
{
    std::array<float, Segment> sum{};
    float peak = 0.0f;
    for (std::size_t p = 0; p < Phases.size(); ++p) {
        if (bound * PhaseGains[p] <= truePeak_)
            continue;
        const auto& phase = Phases[p];
        sum.fill(0.0f);
        for (std::size_t k = 0; k < Taps; ++k) {
            const float* x = segment - History + k;
            for (std::size_t i = 0; i < count; ++i)
                sum[i] += phase[k] * x[i];
        }
        peak = std::max(peak, peakOf(sum.data(), count));
    }
    truePeak_ = std::max(truePeak_, static_cast<double>(peak));
}

void TruePeak::take(std::size_t count)
{
    const float* samples = buffer_.data() + History;
    float before = historyPeak_; // of the samples the segment's filter reaches back to
    float samplePeak = 0.0f;     // kept here, not in the member, while the loop runs
    for (std::size_t at = 0; at < count; at += Segment) {
        const std::size_t length = std::min(Segment, count - at);
        const float peak = peakOf(samples + at, length);
        samplePeak = std::max(samplePeak, peak);
        if (std::max(peak, before) * LargestGain > truePeak_)
            oversample(samples + at, length, std::max(peak, before));
        // A segment is at least as long as the history, except the last.
        before = length >= History ? peak : std::max(peak, before);
    }
    samplePeak_ = std::max(samplePeak_, static_cast<double>(samplePeak));
    if (count > 0) {
        const auto end = buffer_.begin() + static_cast<std::ptrdiff_t>(count + History);
        std::copy(end - History, end, buffer_.begin());
        historyPeak_ = peakOf(buffer_.data(), History);
    }
}

} // namespace besweet
