// SPDX-License-Identifier: GPL-3.0-or-later
// The true peak of one channel: the highest value of the signal oversampled four times with the
// 48-tap interpolation filter of ITU-R BS.1770-4, Annex 2, so the peaks that fall between the
// samples count. Stretches (and phases) that cannot raise the peak found so far skip the filter.
#pragma once

#include <cstddef>
#include <vector>

namespace besweet
{

class TruePeak
{
public:
    // The place for the next count samples, valid until take(count).
    [[nodiscard]] float* reserve(std::size_t count);
    // Measures the count samples written at reserve().
    void take(std::size_t count);

    // The higher of the true peak and the sample peak so far, 1.0 being full scale.
    [[nodiscard]] double peak() const { return truePeak_ > samplePeak_ ? truePeak_ : samplePeak_; }
    [[nodiscard]] double samplePeak() const { return samplePeak_; }

private:
    void oversample(const float* segment, std::size_t count, float bound);

    // The filter's history (the last samples taken), then the samples to measure.
    std::vector<float> buffer_ = std::vector<float>(History, 0.0f);
    float historyPeak_ = 0.0f;
    double samplePeak_ = 0.0;
    double truePeak_ = 0.0;

public:
    static constexpr std::size_t History = 11; // taps per phase less one
};

} // namespace besweet
