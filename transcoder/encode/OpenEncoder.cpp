// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder's sample format, layout check and options.
#include "encode/OpenEncoder.h"

#include "core/Describe.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace besweet
{

const char* twolameMode(char mode)
{
    switch (mode) {
    case 's':
        return "stereo";
    case 'd':
        return "dual_channel";
    case 'm':
        return "mono";
    default:
        return "joint_stereo";
    }
}

namespace
{

AVSampleFormat pickSampleFormat(const AVCodec& encoder)
{
    // Float where the encoder takes it: gain and mix stay unrounded up to the encoder.
    const AVSampleFormat preferred[] = {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16,
                                        AV_SAMPLE_FMT_S16P};
    if (!encoder.sample_fmts)
        return AV_SAMPLE_FMT_FLTP;
    for (const AVSampleFormat wanted : preferred)
        for (const AVSampleFormat* f = encoder.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == wanted)
                return wanted;
    return encoder.sample_fmts[0];
}

bool encoderTakesLayout(const AVCodec& encoder, const AVChannelLayout& layout)
{
    if (!encoder.ch_layouts)
        return true;
    for (const AVChannelLayout* l = encoder.ch_layouts; l->nb_channels; ++l)
        if (av_channel_layout_compare(l, &layout) == 0)
            return true;
    return false;
}

} // namespace

CodecContextPtr openEncoder(const Options& options, const Plan& plan,
                            const EncoderSettings& settings)
{
    const AVCodec* encoder = findEncoder(options.codec);
    const AVSampleFormat format = pickSampleFormat(*encoder);
    if (!encoderTakesRate(options, *encoder, plan.outRate))
        throw WorkError(text("%s cannot take %d Hz", encoderName(options.codec), plan.outRate));
    if (!encoderTakesLayout(*encoder, plan.outLayout))
        throw WorkError(
            text("%s cannot take %s", encoderName(options.codec), layoutName(plan.outLayout)));

    CodecContextPtr context(avcodec_alloc_context3(encoder));
    if (!context)
        throw WorkError(text("out of memory"));
    check(av_channel_layout_copy(&context->ch_layout, &plan.outLayout), text("channel layout"));
    context->sample_rate = plan.outRate;
    context->sample_fmt = format;
    context->time_base = AVRational{1, plan.outRate};
    context->bit_rate = static_cast<std::int64_t>(options.kbps) * 1000;
    if (options.codec == Codec::LayerII)
        check(av_opt_set(context->priv_data, "mode", twolameMode(settings.mode), 0),
              text("libtwolame: mode"));
    if (options.codec == Codec::Ac3)
        check(av_opt_set_int(context->priv_data, "dialnorm", settings.dialnorm, 0),
              text("AC3: dialogue level"));
    check(avcodec_open2(context.get(), encoder, nullptr),
          text("%s: cannot open %s", options.output, encoderName(options.codec)));
    return context;
}

} // namespace besweet
