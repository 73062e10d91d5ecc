// SPDX-License-Identifier: GPL-3.0-or-later
// Loudness as ITU-R BS.1770-4 and EBU R128 define it, measured on the samples as they pass: the
// integrated loudness (400 ms blocks, absolute and relative gate) and the loudness range of EBU
// Tech 3342 (short-term loudness of 3 s taken every 100 ms). The K-weighting filters the channels
// of each sample frame together in float; the meter keeps one weighted mean square per 100 ms
// step, of which blocks and short-term windows are sums, so the figures may be asked for any gain
// the samples are later given.
#pragma once

#include "core/Av.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace besweet
{

struct LoudnessFigures {
    double integrated = 0.0; // LUFS; -infinity for silence
    double range = 0.0;      // LU
};

class LoudnessMeter
{
public:
    // The channels' weights follow the layout: 0 for the low-frequency channel, 1.41 for the
    // surround channels, 1 for the others.
    LoudnessMeter(const AVChannelLayout& layout, int rate);

    // Float planes, planes[c] for each channel c from first to last (exclusive). Different
    // shares of the channels may be measured on different threads at once.
    void add(const float* const* planes, std::size_t frames, std::size_t first, std::size_t last);
    // Decoded or converted samples of any format, every channel.
    void add(const AVFrame& frame);

    [[nodiscard]] std::size_t channels() const { return channels_.size(); }
    // The highest sample taken so far, 1.0 being full scale.
    [[nodiscard]] double samplePeak() const;
    // Of the samples taken, as they would measure multiplied by gain.
    [[nodiscard]] LoudnessFigures figures(double gain = 1.0) const;

private:
    struct alignas(64) Channel {
        float weight = 1.0f;
        float state[4] = {}; // the two sections' memories
        float peak = 0.0f;
        float sum = 0.0f;           // of the current step's squares
        std::int64_t taken = 0;     // samples
        std::vector<float> squares; // sum of squares per finished step
    };

    [[nodiscard]] std::int64_t stepEnd(std::size_t step) const;
    template <std::size_t Lanes>
    void filter(const float* const* planes, std::size_t at, std::size_t count, std::size_t first);
    template <std::size_t Lanes>
    void filterPaired(const float* const* planes, std::size_t at, std::size_t count,
                      std::size_t first);

    int rate_;
    float shelf_[5]; // b0 b1 b2 a1 a2 of the high shelf
    float highPass_[5];
    std::vector<Channel> channels_;
    std::vector<std::vector<float>> converted_; // planes of a frame not in float planes
};

// Channel c of a frame of any sample format as floats, 1.0 full scale, into out.
void channelAsFloats(const AVFrame& frame, int c, float* out);

} // namespace besweet
