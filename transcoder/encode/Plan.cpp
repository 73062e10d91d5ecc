// SPDX-License-Identifier: GPL-3.0-or-later
// Planning the layouts, the mix and the rates.
#include "encode/Plan.h"

#include "cli/Messages.h"
#include "core/ChannelMix.h"
#include "core/Describe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace besweet
{

namespace
{

int outputChannels(const Options& options, int inChannels)
{
    if (options.codec == Codec::LayerII)
        return options.mode == 'm' ? 1 : 2;
    return inChannels == 1 ? 1 : 2;
}

// What each output format is written with: the encoder, the name the log and the errors
// use, and the muxer.
struct OutputFormat {
    Codec codec;
    const char* encoder; // libavcodec's name; nullptr: 16-bit PCM by codec id
    const char* description;
    const char* muxer;
};

constexpr std::array outputFormats{
    OutputFormat{Codec::LayerII, "libtwolame", "MPEG-1 Layer II (libtwolame)", "mp2"},
    OutputFormat{Codec::Ac3, "ac3", "AC3 (ac3)", "ac3"},
    OutputFormat{Codec::Wav, nullptr, "WAV 16-bit PCM (pcm_s16le)", "wav"},
};

const OutputFormat& outputFormat(Codec codec)
{
    return *std::ranges::find(outputFormats, codec, &OutputFormat::codec);
}

} // namespace

const AVCodec* findEncoder(Codec codec)
{
    const OutputFormat& format = outputFormat(codec);
    return format.encoder ? avcodec_find_encoder_by_name(format.encoder)
                          : avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
}

std::string encoderName(Codec codec)
{
    return outputFormat(codec).description;
}

const char* muxerName(Codec codec)
{
    return outputFormat(codec).muxer;
}

bool encoderTakesRate(const Options& options, const AVCodec& encoder, int rate)
{
    // Layer II here is MPEG-1: libtwolame would also take the half rates, as MPEG-2.
    if (options.codec == Codec::LayerII && rate != 32000 && rate != 44100 && rate != 48000)
        return false;
    if (!encoder.supported_samplerates)
        return true;
    for (const int* r = encoder.supported_samplerates; *r; ++r)
        if (*r == rate)
            return true;
    return false;
}

namespace
{

// Says how channels without a declared position, or above ear level, are mixed.
void logPositions(const Plan& plan, RunLog& log)
{
    const AVChannelLayout& in = plan.inLayout;
    const int count = in.nb_channels;
    if (count <= 2 || plan.outLayout.nb_channels >= count)
        return;
    if (!plan.positionsDeclared && in.order == AV_CHANNEL_ORDER_UNSPEC) {
        log.line("input: no channel mask, and no usual layout for " + std::to_string(count) +
                 " channels: channels 3 to " + std::to_string(count) +
                 " mixed evenly into both sides");
        return;
    }
    if (!plan.positionsDeclared)
        log.line("input: no channel mask: the channels mixed as the usual " + layoutName(in) +
                 " positions" +
                 (av_channel_layout_index_from_channel(&in, AV_CHAN_LOW_FREQUENCY) >= 0
                      ? ", the LFE channel as a centre channel, since nothing declares it LFE"
                      : ""));
    std::string folded;
    for (int i = 0; i < count; ++i) {
        const AVChannel channel =
            av_channel_layout_channel_from_index(&in, static_cast<unsigned>(i));
        if (isEarLevel(channel))
            continue;
        char name[32] = {};
        av_channel_name(name, sizeof name, channel);
        folded += (folded.empty() ? "" : " ") + std::string(name);
    }
    if (!folded.empty())
        log.line("mixing: " + folded + " folded into the nearest ear-level positions");
}

} // namespace

void planConversion(Plan& plan, const Options& options, const Input& input, RunLog& log)
{
    const AVCodec* encoder = findEncoder(options.codec);
    if (!encoder)
        throw WorkError(text("this FFmpeg has no encoder for %s", encoderName(options.codec)));
    check(av_channel_layout_copy(&plan.inLayout, &input.decoder->ch_layout),
          text("channel layout"));
    plan.inRate = input.decoder->sample_rate;
    av_channel_layout_default(
        &plan.outLayout,
        outputChannels(options, std::max(plan.inLayout.nb_channels, input.mostChannels)));
    plan.outRate = options.resampleTo48k ? 48000 : plan.inRate;
    if (options.resampleTo48k) {
        log.line(plan.inRate == 48000
                     ? "resampling: none needed, the input is at 48000 Hz"
                     : "resampling: " + std::to_string(plan.inRate) + " Hz to 48000 Hz, as asked");
    } else if (!encoderTakesRate(options, *encoder, plan.inRate)) {
        plan.outRate = 48000;
        const Text note =
            text("resampling: the encoder cannot take %d Hz, so to 48000 Hz", plan.inRate);
        log.line(note.english);
        say("%s\n", note.local.c_str());
    } else {
        log.line("resampling: none");
    }
    plan.positionsDeclared = !input.unmasked;
    if (const auto why = whyUnmixable(plan.inLayout))
        throw WorkError(text("%s: %s", input.path, *why));
    logPositions(plan, log);
    plan.matrix = mixMatrix(plan.inLayout, plan.outLayout, plan.positionsDeclared);
    if (plan.inLayout.nb_channels != plan.outLayout.nb_channels)
        log.line("mixing: " + layoutName(plan.inLayout) + " to " + layoutName(plan.outLayout));
}

} // namespace besweet
