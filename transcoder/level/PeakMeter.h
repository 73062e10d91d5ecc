// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the highest peak of the signal as it will be mixed for the output, sample peak and true
// peak (TruePeak.h): samples go through the same channel matrix the resampler will use, so a mono
// mixdown is measured as mono. Reads PCM packets straight (no decoder) and decoded frames alike,
// and hands the mixed samples to a loudness meter where it is given one.
#pragma once

#include "level/LoudnessMeter.h"
#include "level/TruePeak.h"

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/frame.h>
}

#include <cstddef>
#include <cstdint>
#include <vector>

namespace besweet
{

class PeakMeter
{
public:
    // matrix: outChannels rows of inChannels weights.
    PeakMeter(std::vector<double> matrix, int outChannels, int inChannels);

    // True for the PCM codecs whose packets addPacket reads directly.
    [[nodiscard]] static bool readsPacketsOf(AVCodecID codec);

    // Output channels first to last (exclusive). Different shares may be measured on different
    // threads at once.
    struct Channels {
        std::size_t first;
        std::size_t last;
    };

    // Interleaved PCM samples of the codec; returns the number of sample frames taken.
    std::int64_t addPacket(AVCodecID codec, const std::uint8_t* data, std::size_t size);
    // The same, measuring only the share's channels.
    std::int64_t addPacket(AVCodecID codec, const std::uint8_t* data, std::size_t size,
                           Channels share);
    [[nodiscard]] std::size_t outChannels() const { return channels_.size(); }
    // Every sample measured from now on is also measured by loudness, which has the output's
    // channels.
    void measureLoudness(LoudnessMeter* loudness) { loudness_ = loudness; }
    void addFrame(const AVFrame& frame);

    // The highest sample so far, 1.0 being full scale.
    [[nodiscard]] double samplePeak() const;
    // The true peak so far, never below the sample peak.
    [[nodiscard]] double truePeak() const;

private:
    template <typename Load>
    void addSamples(const std::uint8_t* const* planes, bool planar, std::size_t bytesPerSample,
                    std::size_t frames, Channels share);

    std::vector<double> matrix_;
    int outChannels_;
    int inChannels_;
    bool identity_;
    std::vector<TruePeak> channels_; // one per output channel
    LoudnessMeter* loudness_ = nullptr;
};

} // namespace besweet
