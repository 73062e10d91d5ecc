// SPDX-License-Identifier: GPL-3.0-or-later
// The run, stage by stage: open the input (Input), plan the channels and rate (Plan), measure
// the peak when asked, then decode -> resample with mix and gain (Resampler) -> encode and write
// (EncodeStage). A normalised track is measured as decoded and encoded again with a corrected
// gain when it missed the level asked.
#include "Transcoder.h"

#include "cli/Messages.h"
#include "cli/Progress.h"
#include "core/Decibels.h"
#include "core/Describe.h"
#include "core/Text.h"
#include "encode/EncodeStage.h"
#include "encode/LevelSearch.h"
#include "encode/Plan.h"
#include "encode/Resampler.h"
#include "input/HeaderScan.h"
#include "input/Input.h"
#include "input/InputChange.h"
#include "input/Timeline.h"
#include "level/ChannelSplitMeter.h"
#include "level/LoudnessMeter.h"
#include "level/PeakMeter.h"
#include "output/OutputFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
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

// A frame of the planned rate and channels, in samples the peak meter reads as they are (64-bit
// integers go through the resampler first, as any other conversion does).
bool matchesPlan(const AVFrame& frame, const Plan& plan)
{
    const auto format = av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame.format));
    return frame.sample_rate == plan.inRate && format != AV_SAMPLE_FMT_S64 &&
           av_channel_layout_compare(&frame.ch_layout, &plan.inLayout) == 0;
}

struct Peaks {
    double sample = 0.0;
    double truePeak = 0.0;
};

// PCM whose last bytes are less than a whole sample frame ends as a recording still being written
// does when its writer is slower than the read.
ReadEnd endOf(const Input& input)
{
    return input.partialTail > 0 ? ReadEnd::Cut : ReadEnd::Whole;
}

// The peak pass. Measures the signal as it will be mixed for the encoder, at unit gain. An
// encoded track is measured at the input's own rate: its true peak is that of the signal between
// the samples, which resampling keeps, and the decoded track is measured anyway, so the costly
// resampling is left to the encode. PCM output is measured at its own rate, since its samples are
// written as they come out of the resampler. PCM at the measuring rate is read straight from its
// packets; decoded frames of the planned kind are mixed as they are measured, and anything else
// (another rate, or channels that changed on the way) goes through the resampler first.
// The loudness is measured on the same samples.
[[nodiscard]] Peaks measurePeak(Input input, const Plan& plan, int rate, std::int64_t limit,
                                const InputWatch& watch, const Text& label, LoudnessMeter& loudness)
{
    Progress progress(label);
    std::int64_t samples = 0;
    const AVCodecID codec = input.stream->codecpar->codec_id;
    const int outChannels = plan.outLayout.nb_channels;
    PeakMeter mixed(plan.matrix, outChannels, plan.inLayout.nb_channels);
    mixed.measureLoudness(&loudness);
    const bool direct = plan.inRate == rate;
    if (direct && PeakMeter::readsPacketsOf(codec)) {
        ChannelSplitMeter split(mixed, codec);
        readPackets(input, progress, [&](const AVPacket& packet) { samples += split.add(packet); });
        split.finish();
        checkNotEmpty(input, samples);
        watch.check(endOf(input));
        progress.finish();
        return {mixed.samplePeak(), mixed.truePeak()};
    }
    PeakMeter converted(identityMatrix(outChannels), outChannels, outChannels);
    converted.measureLoudness(&loudness);
    Resampler resampler(plan, AV_SAMPLE_FMT_FLTP, 1.0, nullptr, rate);
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
    watch.check(endOf(input));
    progress.finish();
    return {std::max(mixed.samplePeak(), converted.samplePeak()),
            std::max(mixed.truePeak(), converted.truePeak())};
}

// How much higher the decoded track of each encoder peaks than the true peak of what it was
// given, on ordinary material (plucked strings over noise, speech, tones, pink noise, a sweep:
// the median row of bench/encoder_overshoot.cpp's table). A bitrate takes the row at or below
// it. Square waves, clicks and full-band noise stray further (-4.3 to +3.0 dB); the decoded
// peak is measured, and the track encoded again, for them.
struct Margin {
    Codec codec;
    int kbps;
    double decibels;
};

constexpr std::array margins{
    Margin{Codec::LayerII, 0, 0.18},   Margin{Codec::LayerII, 192, 0.08},
    Margin{Codec::LayerII, 224, 0.04}, Margin{Codec::LayerII, 256, -0.06},
    Margin{Codec::LayerII, 384, 0.02}, Margin{Codec::Ac3, 0, -0.04},
    Margin{Codec::Ac3, 224, -0.05},    Margin{Codec::Ac3, 256, -0.11},
    Margin{Codec::Ac3, 384, -0.12},    Margin{Codec::Ac3, 448, -0.17},
};

double marginAt(Codec codec, int kbps)
{
    double decibels = 0.0;
    for (const Margin& margin : margins)
        if (margin.codec == codec && margin.kbps <= kbps)
            decibels = margin.decibels;
    return fromDecibels(decibels);
}

// Encodes that still peak above full scale after these end the run: the track is not made.
constexpr int MostEncodesInAll = 8;

std::string dBFS(double linear)
{
    return decibels(linear) + "FS";
}

// The gain that should bring the decoded peak to the aim, or nothing for silence.
std::optional<double> predictGain(const Peaks& peaks, const Options& options, const Target& target,
                                  RunLog& log)
{
    if (peaks.truePeak <= 0.0) {
        log.line("peak: silence; gain: none");
        warn(log, text("-norm: the input is silent: there is nothing to raise"));
        return std::nullopt;
    }
    log.line("peak: " + std::to_string(peaks.sample) + " (" + decibels(peaks.sample) +
             " FS); true peak: " + std::to_string(peaks.truePeak) + " (" +
             decibels(peaks.truePeak) + " FS)");
    double expected = peaks.sample;
    if (options.codec != Codec::Wav) {
        const double margin = marginAt(options.codec, options.kbps);
        expected = peaks.truePeak * margin;
        log.line("expected decoded peak at unit gain: " + dBFS(expected) + " (" +
                 encoderName(options.codec) + " at " + std::to_string(options.kbps) +
                 " kbps adds about " + decibels(margin) + ")");
    }
    const double gain = target.aim / expected;
    log.line("gain: " + std::to_string(gain) + " (" + decibels(gain) + ") to aim at " +
             dBFS(target.aim) + " for the level " + std::to_string(target.asked));
    return gain;
}

// The output's temporary file, which the encode stage writes its track into.
[[nodiscard]] std::unique_ptr<TrackFile> openOutputFile(const std::string& target)
{
    return std::make_unique<OutputFile>(target);
}

// Reads the whole input into an encode; the progress is left for the caller to finish, once it
// knows whether this pass is the last.
// measured: the loudness measured before, in a normalised run.
[[nodiscard]] std::unique_ptr<EncodeStage>
encodePass(Input input, const Options& options, const Plan& plan, double gain, Progress& progress,
           const InputWatch& watch, RunLog& log, const LoudnessMeter* measured = nullptr)
{
    auto stage = std::make_unique<EncodeStage>(options, plan, gain, log, openOutputFile, measured);
    const std::int64_t samples = decodeAll(
        input, progress, [&](const AVFrame& frame) { stage->add(frame); }, &log,
        options.stopAfterSamples);
    checkNotEmpty(input, samples);
    stage->finish();
    watch.check(endOf(input));
    return stage;
}

// An encode that is kept as it comes.
void encodeOnce(Input input, const Options& options, const Plan& plan, const Text& label,
                const InputWatch& watch, RunLog& log)
{
    Progress progress(label);
    const auto stage = encodePass(std::move(input), options, plan, 1.0, progress, watch, log);
    progress.finish();
    stage->commit();
}

std::string whyEncodeAgain(double peak, const Target& target)
{
    if (peak > 1.0)
        return "it is above full scale";
    const double away = toDecibels(peak / target.asked);
    char text[64];
    std::snprintf(text, sizeof text, "it is %.2f dB %s the level asked", std::fabs(away),
                  away < 0 ? "below" : "above");
    return text;
}

// The rate the peak is measured at (see measurePeak).
int measuringRate(Codec codec, const Plan& plan)
{
    return codec == Codec::Wav ? plan.outRate : plan.inRate;
}

// The highest gain the encoder takes without clipping what it is given: libtwolame clips samples
// above full scale, the AC3 encoder takes them (and PCM output is aimed at the level itself).
// Resampled samples may land anywhere between the measured ones, up to the true peak.
double highestGain(Codec codec, const Plan& plan, const Peaks& peaks)
{
    if (codec != Codec::LayerII)
        return std::numeric_limits<double>::infinity();
    return 1.0 / (plan.inRate == plan.outRate ? peaks.sample : peaks.truePeak);
}

// Says on standard error, and in the log, how far the kept track is from the level asked.
void warnOfMissedLevel(const std::vector<Encode>& done, double kept, bool atFullScale,
                       const Target& target, RunLog& log)
{
    switch (howMissed(done, kept, atFullScale, target)) {
    case Missed::HighestUnclipped:
        warn(log, text("level: %s delivered, %s asked: the highest level that does not clip",
                       dBFS(kept), dBFS(target.asked)));
        break;
    case Missed::Nearest:
        warn(log, text("level: %s delivered, %s asked: the nearest of %d encodes", dBFS(kept),
                       dBFS(target.asked), static_cast<int>(done.size())));
        break;
    case Missed::Not:
        break;
    }
}

// Encodes, measures the decoded track and, while it misses the level, encodes again with the
// gain corrected by the error measured (MostEncodes at most); the best encode is kept. A track
// that peaks above full scale is never kept: while every encode does, the next one is made at a
// gain the highest overshoot seen cannot lift above full scale (MostEncodesInAll at most, then
// the run fails).
void encodeNormalised(const Options& options, const Plan& plan, const Target& target, double gain,
                      double highest, int passesBefore, const InputWatch& watch, RunLog& log,
                      const LoudnessMeter& measured)
{
    std::unique_ptr<EncodeStage> kept;
    double keptPeak = 0.0;
    std::vector<Encode> done;
    bool atFullScale = false; // the encoder's input
    gain = std::min(gain, highest);
    for (int encode = 1;; ++encode) {
        const int pass = passesBefore + encode;
        const Text label = encode == 1 ? text("Pass %d/%d: encoding", pass, pass)
                                       : text("Pass %d/%d: encoding again", pass, pass);
        Progress progress(label);
        std::unique_ptr<EncodeStage> stage =
            encodePass(openInput(options), options, plan, gain, progress, watch, log, &measured);
        const double peak = stage->decodedPeak();
        log.line("decoded peak: " + dBFS(peak));
        done.push_back({gain, peak});
        if (!kept || better(peak, keptPeak, target)) {
            kept = std::move(stage);
            keptPeak = peak;
        }
        const bool keptClips = keptPeak > 1.0;
        if (!keptClips && (target.reached(peak) || encode >= MostEncodes || peak <= 0.0)) {
            progress.finish();
            break;
        }
        if (encode >= MostEncodesInAll)
            throw WorkError(text("%s: the encoded track peaks above full scale at every gain "
                                 "tried (%d encodes, the lowest at %s); nothing written: choose "
                                 "a higher bitrate",
                                 options.output, encode, dBFS(keptPeak)));
        const double next =
            std::min(correctedGain(done, target, encode + 1 >= MostEncodes), highest);
        // Full scale at the encoder's input, and still short of the level.
        atFullScale = atFullScale || next >= highest;
        if (!keptClips && next >= highest && gain >= highest) {
            log.line("the encoder's input is at full scale: no higher gain is taken");
            progress.finish();
            break;
        }
        progress.leave();
        log.line("encoding again (" + std::to_string(encode + 1) + " of at most " +
                 std::to_string(keptClips ? MostEncodesInAll : MostEncodes) +
                 "): the decoded peak " + dBFS(peak) + " misses " + dBFS(target.asked) + ": " +
                 whyEncodeAgain(peak, target) + "; gain corrected by " + decibels(next / gain));
        gain = next;
    }
    warnOfMissedLevel(done, keptPeak, atFullScale, target, log);
    kept->commit();
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

void transcodeWatched(const Options& options, const InputWatch& watch, RunLog& log)
{
    const bool normalise = options.norm && *options.norm > 0.0;
    if (normalise)
        checkReadableTwice(options.input);
    Input input = openInput(options);
    logInput(input, log);
    logAudioStart(input, log);
    // Passes before the peak's: the channel scan of a file of MPEG audio or AC3.
    const int scanned = scanChannels(input, log, normalise ? 3 : 2) ? 1 : 0;
    Plan plan;
    planConversion(plan, options, input, log);
    warnIfNotForDvd(options, plan, log);
    if (options.monoKbpsAsked > 0)
        warn(log, text("Layer II mono takes at most 192 kbps: encoded at 192 kbps instead of %d",
                       options.monoKbpsAsked));
    if (normalise) {
        const Target target = targetFor(*options.norm, options.codec);
        const int rate = measuringRate(options.codec, plan);
        LoudnessMeter loudness(plan.outLayout, rate);
        const Peaks peaks =
            measurePeak(std::move(input), plan, rate, options.stopAfterSamples, watch,
                        text("Pass %d/%d: measuring the peak", scanned + 1, scanned + 2), loudness);
        if (const auto gain = predictGain(peaks, options, target, log)) {
            encodeNormalised(options, plan, target, *gain, highestGain(options.codec, plan, peaks),
                             scanned + 1, watch, log, loudness);
            return;
        }
        encodeOnce(openInput(options), options, plan,
                   text("Pass %d/%d: encoding", scanned + 2, scanned + 2), watch, log);
        return;
    }
    if (options.norm)
        log.line("normalisation: none (-norm 0); gain: none");
    encodeOnce(std::move(input), options, plan,
               text("Pass %d/%d: encoding", scanned + 1, scanned + 1), watch, log);
}

} // namespace

void transcode(const Options& options, RunLog& log)
{
    const InputWatch watch(options.input, options.quietBeforeCutEnd);
    try {
        transcodeWatched(options, watch, log);
    } catch (const CutShort&) {
        // Where a recording still being written ends whenever the read catches up with it.
        watch.check(ReadEnd::Cut);
        throw;
    } catch (const WorkError&) {
        // A file that changed is the reason a read failed, rather than damage.
        watch.check();
        throw;
    }
}

} // namespace besweet
