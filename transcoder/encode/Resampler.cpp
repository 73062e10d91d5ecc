// SPDX-License-Identifier: GPL-3.0-or-later
// Setting up the resampler for each kind of input, and its output buffer.
#include "encode/Resampler.h"

#include "core/ChannelMix.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace besweet
{

Resampler::Resampler(const Plan& plan, AVSampleFormat outFormat, double gain, RunLog* log,
                     int outRate)
    : plan_(plan), outRate_(outRate > 0 ? outRate : plan.outRate), outFormat_(outFormat),
      gain_(gain), log_(log), out_(makeFrame())
{
}

Resampler::~Resampler()
{
    av_channel_layout_uninit(&inLayout_);
}

bool Resampler::fits(const AVFrame& in) const
{
    return swr_ && in.sample_rate == inRate_ && in.format == inFormat_ &&
           av_channel_layout_compare(&in.ch_layout, &inLayout_) == 0;
}

// soxr at its default (high) quality when this FFmpeg has it, else swr's own, long filter.
void Resampler::start(const AVFrame& in)
{
    const auto inFormat = static_cast<AVSampleFormat>(in.format);
    SwrContext* raw = nullptr;
    // FFmpeg 5.1 takes the layouts through non-const pointers but only reads them.
    check(swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&plan_.outLayout), outFormat_,
                              outRate_, const_cast<AVChannelLayout*>(&in.ch_layout), inFormat,
                              in.sample_rate, 0, nullptr),
          text("cannot set up the resampler"));
    SwrPtr swr(raw);
    if (in.sample_rate != outRate_) {
        const bool soxr = av_opt_set(raw, "resampler", "soxr", 0) >= 0;
        if (!soxr) {
            av_opt_set_int(raw, "filter_size", 64, 0);
            av_opt_set_int(raw, "phase_shift", 14, 0);
        }
        if (log_)
            log_->line(soxr ? "resampler: soxr" : "resampler: swr (soxr not available)");
        log_ = nullptr;
    }
    std::vector<double> matrix = mixMatrix(in.ch_layout, plan_.outLayout, plan_.positionsDeclared);
    for (double& weight : matrix)
        weight *= gain_;
    check(swr_set_matrix(raw, matrix.data(), in.ch_layout.nb_channels), text("resampler matrix"));
    check(swr_init(raw), text("cannot start the resampler"));
    swr_ = std::move(swr);
    check(av_channel_layout_copy(&inLayout_, &in.ch_layout), text("channel layout"));
    inRate_ = in.sample_rate;
    inFormat_ = in.format;
}

void Resampler::reserve(int samples)
{
    if (capacity_ >= samples)
        return;
    av_frame_unref(out_.get());
    out_->nb_samples = samples;
    out_->format = outFormat_;
    out_->sample_rate = outRate_;
    check(av_channel_layout_copy(&out_->ch_layout, &plan_.outLayout), text("channel layout"));
    check(av_frame_get_buffer(out_.get(), 0), text("out of memory"));
    capacity_ = samples;
}

} // namespace besweet
