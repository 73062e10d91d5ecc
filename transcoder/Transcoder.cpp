// SPDX-License-Identifier: GPL-3.0-or-later
// The run, stage by stage: open the input (Input), plan the channels and rate (Plan), measure
// the peak when asked, then decode -> resample with mix and gain (Resampler) -> encode and write
// (EncodeStage).
#include "Transcoder.h"

#include "Describe.h"
#include "EncodeStage.h"
#include "Input.h"
#include "PeakMeter.h"
#include "Plan.h"
#include "Progress.h"
#include "Resampler.h"
#include "Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace besweet
{

namespace
{

std::vector<double> identityMatrix(int channels)
{
    std::vector<double> identity(static_cast<std::size_t>(channels * channels));
    for (int c = 0; c < channels; ++c)
        identity[static_cast<std::size_t>(c * channels + c)] = 1.0;
    return identity;
}

bool matchesPlan(const AVFrame& frame, const Plan& plan)
{
    return frame.sample_rate == plan.inRate &&
           av_channel_layout_compare(&frame.ch_layout, &plan.inLayout) == 0;
}

// The first pass. Measures the signal as the second pass will give it to the encoder, at unit
// gain: mixed, and resampled where the rates differ, since resampling brings back the peaks
// that fall between the input's samples. PCM at the output's rate is read straight from its
// packets; decoded frames of the planned kind are mixed as they are measured, and anything else
// (another rate, or channels that changed on the way) goes through the resampler first.
[[nodiscard]] double measurePeak(Input input, const Plan& plan, std::int64_t limit)
{
    Progress progress(text("Pass 1/2: measuring the peak"));
    std::int64_t samples = 0;
    const AVCodecID codec = input.stream->codecpar->codec_id;
    const int outChannels = plan.outLayout.nb_channels;
    PeakMeter mixed(plan.matrix, outChannels, plan.inLayout.nb_channels);
    const bool direct = plan.inRate == plan.outRate;
    if (direct && PeakMeter::readsPacketsOf(codec)) {
        readPackets(input, progress, [&](const AVPacket& packet) {
            samples += mixed.addPacket(codec, packet.data, static_cast<std::size_t>(packet.size));
        });
        checkNotEmpty(input, samples);
        progress.finish();
        return mixed.peak();
    }
    PeakMeter converted(identityMatrix(outChannels), outChannels, outChannels);
    Resampler resampler(plan, AV_SAMPLE_FMT_FLTP, 1.0, nullptr);
    const auto measure = [&](const AVFrame& frame) { converted.addFrame(frame); };
    const auto onFrame = [&](const AVFrame& frame) {
        if (direct && matchesPlan(frame, plan)) {
            resampler.drain(measure);
            mixed.addFrame(frame);
        } else {
            resampler.convert(frame, measure);
        }
    };
    samples = decodeAll(input, progress, onFrame, nullptr, limit);
    resampler.drain(measure);
    checkNotEmpty(input, samples);
    progress.finish();
    return std::max(mixed.peak(), converted.peak());
}

// How far above the level asked the decoded track of each encoder may reach: the most it
// overshot on tones, sweeps, square and sawtooth waves, noise and clipped drums normalised to
// the level (bench/encoder_overshoot.cpp; full-band white noise at full scale, which no
// recording is, overshoots further). The level is held below full scale by that much.
struct Headroom {
    Codec codec;
    double decibels;
};

constexpr std::array headrooms{
    Headroom{Codec::LayerII, 3.5},
    Headroom{Codec::Ac3, 2.5},
    Headroom{Codec::Wav, 0.0},
};

double highestLevel(Codec codec)
{
    const double decibels = std::ranges::find(headrooms, codec, &Headroom::codec)->decibels;
    return std::pow(10.0, -decibels / 20.0);
}

double normalisingGain(Input input, const Options& options, const Plan& plan, RunLog& log)
{
    const double peak = measurePeak(std::move(input), plan, options.stopAfterSamples);
    if (peak <= 0.0) {
        log.line("peak: silence; gain: none");
        return 1.0;
    }
    const double highest = highestLevel(options.codec);
    const double level = std::min(*options.norm, highest);
    const double gain = level / peak;
    log.line("peak: " + std::to_string(peak) + " (" + decibels(peak) + " FS)");
    if (level < *options.norm)
        log.line("level: held back to " + std::to_string(level) + " (" + decibels(level) +
                 " FS) from " + std::to_string(*options.norm) + ": " + encoderName(options.codec) +
                 " overshoots by up to " + decibels(1.0 / highest) + " when decoded");
    log.line("gain: " + std::to_string(gain) + " (" + decibels(gain) + ") to reach " +
             std::to_string(level));
    return gain;
}

void encodePass(Input input, const Options& options, const Plan& plan, double gain, bool secondPass,
                RunLog& log)
{
    EncodeStage stage(options, plan, gain, log);
    Progress progress(secondPass ? text("Pass 2/2: encoding") : text("Pass 1/1: encoding"));
    const std::int64_t samples = decodeAll(
        input, progress, [&](const AVFrame& frame) { stage.add(frame); }, &log,
        options.stopAfterSamples);
    checkNotEmpty(input, samples);
    stage.finish();
    progress.finish();
}

// DVD-Video takes 48 kHz audio only, and AC3 up to 448 kbps. Such tracks are still made, with
// a warning, since not every track is meant for a DVD.
void warnIfNotForDvd(const Options& options, const Plan& plan, RunLog& log)
{
    std::vector<Text> faults;
    if (plan.outRate != 48000)
        faults.push_back(text("%d Hz (a DVD takes 48000 Hz: resample with -ssrc( --rate 48000 ))",
                              plan.outRate));
    if (options.codec == Codec::Ac3 && options.kbps > 448)
        faults.push_back(text("AC3 at %d kbps (a DVD takes up to 448 kbps)", options.kbps));
    for (const Text& fault : faults)
        warn(log, text("not DVD-compliant: %s", fault));
}

} // namespace

void transcode(const Options& options, RunLog& log)
{
    const bool normalise = options.norm && *options.norm > 0.0;
    if (normalise)
        checkReadableTwice(options.input);
    Input input = openInput(options);
    logInput(input, log);
    Plan plan;
    planConversion(plan, options, input, log);
    warnIfNotForDvd(options, plan, log);
    double gain = 1.0;
    if (normalise) {
        gain = normalisingGain(std::move(input), options, plan, log);
        input = openInput(options);
    } else if (options.norm) {
        log.line("normalisation: none (-norm 0); gain: none");
    }
    encodePass(std::move(input), options, plan, gain, normalise, log);
}

} // namespace besweet
