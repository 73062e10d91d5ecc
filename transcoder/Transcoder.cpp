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

#include <string>
#include <vector>

namespace besweet
{

namespace
{

// The first pass. Measures the signal as the second pass will give it to the encoder, at unit
// gain: mixed, and resampled where the rates differ, since resampling brings back the peaks
// that fall between the input's samples. Without resampling, PCM is read straight from its
// packets and anything else decoded.
[[nodiscard]] double measurePeak(Input input, const Plan& plan, std::int64_t limit)
{
    Progress progress("Pass 1/2: measuring the peak");
    std::int64_t samples = 0;
    const AVCodecID codec = input.stream->codecpar->codec_id;
    double peak = 0.0;
    if (plan.inRate != plan.outRate) {
        const int channels = plan.outLayout.nb_channels;
        std::vector<double> identity(static_cast<std::size_t>(channels * channels));
        for (int c = 0; c < channels; ++c)
            identity[static_cast<std::size_t>(c * channels + c)] = 1.0;
        PeakMeter meter(std::move(identity), channels, channels);
        Resampler resampler(plan, input.decoder->sample_fmt, AV_SAMPLE_FMT_FLTP, 1.0, nullptr);
        const auto measure = [&](const AVFrame& frame) { meter.addFrame(frame); };
        samples = decodeAll(
            input, progress,
            [&](const AVFrame& frame) {
                resampler.convert(frame.extended_data, frame.nb_samples, measure);
            },
            limit);
        resampler.convert(nullptr, 0, measure);
        peak = meter.peak();
    } else if (PeakMeter::readsPacketsOf(codec)) {
        PeakMeter meter(plan.matrix, plan.outLayout.nb_channels, plan.inLayout.nb_channels);
        readPackets(input, progress, [&](const AVPacket& packet) {
            samples += meter.addPacket(codec, packet.data, static_cast<std::size_t>(packet.size));
        });
        peak = meter.peak();
    } else {
        PeakMeter meter(plan.matrix, plan.outLayout.nb_channels, plan.inLayout.nb_channels);
        samples = decodeAll(
            input, progress, [&](const AVFrame& frame) { meter.addFrame(frame); }, limit);
        peak = meter.peak();
    }
    checkNotEmpty(input, samples);
    progress.finish();
    return peak;
}

double normalisingGain(Input input, const Options& options, const Plan& plan, RunLog& log)
{
    const double peak = measurePeak(std::move(input), plan, options.stopAfterSamples);
    if (peak <= 0.0) {
        log.line("peak: silence; gain: none");
        return 1.0;
    }
    const double gain = *options.norm / peak;
    log.line("peak: " + std::to_string(peak) + " (" + decibels(peak) + " FS)");
    log.line("gain: " + std::to_string(gain) + " (" + decibels(gain) + ") to reach " +
             std::to_string(*options.norm));
    return gain;
}

void encodePass(Input input, const Options& options, const Plan& plan, double gain, bool secondPass,
                RunLog& log)
{
    EncodeStage stage(options, plan, input.decoder->sample_fmt, gain, log);
    Progress progress(secondPass ? "Pass 2/2: encoding" : "Pass 1/1: encoding");
    const std::int64_t samples = decodeAll(
        input, progress, [&](const AVFrame& frame) { stage.add(frame); }, options.stopAfterSamples);
    checkNotEmpty(input, samples);
    stage.finish();
    progress.finish();
}

} // namespace

void transcode(const Options& options, RunLog& log)
{
    Input input = openInput(options);
    logInput(input, log);
    Plan plan;
    planConversion(plan, options, input, log);
    double gain = 1.0;
    const bool normalise = options.norm && *options.norm > 0.0;
    if (normalise) {
        gain = normalisingGain(std::move(input), options, plan, log);
        input = openInput(options);
    } else if (options.norm) {
        log.line("normalisation: none (-norm 0); gain: none");
    }
    encodePass(std::move(input), options, plan, gain, normalise, log);
}

} // namespace besweet
