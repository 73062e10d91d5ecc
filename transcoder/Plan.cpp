// SPDX-License-Identifier: GPL-3.0-or-later
// Planning the layouts, the mix and the rates.
#include "Plan.h"

#include "Describe.h"
#include "Messages.h"

#include <algorithm>
#include <array>
#include <cmath>

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

std::vector<double> mixMatrix(const AVChannelLayout& in, const AVChannelLayout& out)
{
    const int inCount = in.nb_channels;
    const int outCount = out.nb_channels;
    // One or two channels: plain copies, a mono source fills both sides, a mono mixdown is
    // the mean, so nothing can clip.
    if (inCount == 1 && outCount == 1)
        return {1.0};
    if (inCount == 1 && outCount == 2)
        return {1.0, 1.0};
    if (inCount == 2 && outCount == 2)
        return {1.0, 0.0, 0.0, 1.0};
    if (inCount == 2 && outCount == 1)
        return {0.5, 0.5};
    // More channels: FFmpeg's downmix, scaled so that no output channel can clip.
    // swr_build_matrix2 of FFmpeg 5.1 touches rows past the output's channel count, so it
    // gets room for the most channels there can be; the rows wanted are copied out.
    constexpr int most = 64;
    if (inCount > most || outCount > most)
        throw WorkError("cannot mix " + std::to_string(inCount) + " channels");
    std::vector<double> full(static_cast<std::size_t>(most * most));
    check(swr_build_matrix2(&in, &out, M_SQRT1_2, M_SQRT1_2, 0.0, 1.0, 1.0, full.data(), most,
                            AV_MATRIX_ENCODING_NONE, nullptr),
          "cannot mix " + layoutName(in) + " down to " + layoutName(out));
    std::vector<double> matrix;
    for (int o = 0; o < outCount; ++o)
        for (int i = 0; i < inCount; ++i)
            matrix.push_back(full[static_cast<std::size_t>(o * most + i)]);
    return matrix;
}

void planConversion(Plan& plan, const Options& options, const Input& input, RunLog& log)
{
    const AVCodec* encoder = findEncoder(options.codec);
    if (!encoder)
        throw WorkError("this FFmpeg has no encoder for " + encoderName(options.codec));
    check(av_channel_layout_copy(&plan.inLayout, &input.decoder->ch_layout), "channel layout");
    plan.inRate = input.decoder->sample_rate;
    av_channel_layout_default(&plan.outLayout, outputChannels(options, plan.inLayout.nb_channels));
    plan.outRate = options.resampleTo48k ? 48000 : plan.inRate;
    if (options.resampleTo48k) {
        log.line(plan.inRate == 48000
                     ? "resampling: none needed, the input is at 48000 Hz"
                     : "resampling: " + std::to_string(plan.inRate) + " Hz to 48000 Hz, as asked");
    } else if (!encoderTakesRate(options, *encoder, plan.inRate)) {
        plan.outRate = 48000;
        const std::string note = "resampling: the encoder cannot take " +
                                 std::to_string(plan.inRate) + " Hz, so to 48000 Hz";
        log.line(note);
        say("%s\n", note.c_str());
    } else {
        log.line("resampling: none");
    }
    plan.matrix = mixMatrix(plan.inLayout, plan.outLayout);
    if (plan.inLayout.nb_channels != plan.outLayout.nb_channels)
        log.line("mixing: " + layoutName(plan.inLayout) + " to " + layoutName(plan.outLayout));
}

} // namespace besweet
