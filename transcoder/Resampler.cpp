// Setting up the resampler and its output buffer.
#include "Resampler.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace besweet
{

namespace
{

// soxr at its default (high) quality when this FFmpeg has it, else swr's own, long filter.
[[nodiscard]] SwrPtr initResampler(const Plan& plan, AVSampleFormat inFormat,
                                   AVSampleFormat outFormat, double gain, RunLog* log)
{
    SwrContext* raw = nullptr;
    // FFmpeg 5.1 takes the layouts through non-const pointers but only reads them.
    check(swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&plan.outLayout), outFormat,
                              plan.outRate, const_cast<AVChannelLayout*>(&plan.inLayout), inFormat,
                              plan.inRate, 0, nullptr),
          "cannot set up the resampler");
    SwrPtr swr(raw);
    if (plan.inRate != plan.outRate) {
        const bool soxr = av_opt_set(raw, "resampler", "soxr", 0) >= 0;
        if (!soxr) {
            av_opt_set_int(raw, "filter_size", 64, 0);
            av_opt_set_int(raw, "phase_shift", 14, 0);
        }
        if (log)
            log->line(soxr ? "resampler: soxr" : "resampler: swr (soxr not available)");
    }
    std::vector<double> matrix = plan.matrix;
    for (double& weight : matrix)
        weight *= gain;
    check(swr_set_matrix(raw, matrix.data(), plan.inLayout.nb_channels), "resampler matrix");
    check(swr_init(raw), "cannot start the resampler");
    return swr;
}

} // namespace

Resampler::Resampler(const Plan& plan, AVSampleFormat inFormat, AVSampleFormat outFormat,
                     double gain, RunLog* log)
    : swr_(initResampler(plan, inFormat, outFormat, gain, log)), out_(makeFrame()),
      format_(outFormat), layout_(plan.outLayout), rate_(plan.outRate)
{
}

void Resampler::reserve(int samples)
{
    if (capacity_ >= samples)
        return;
    av_frame_unref(out_.get());
    out_->nb_samples = samples;
    out_->format = format_;
    out_->sample_rate = rate_;
    check(av_channel_layout_copy(&out_->ch_layout, &layout_), "channel layout");
    check(av_frame_get_buffer(out_.get(), 0), "out of memory (samples)");
    capacity_ = samples;
}

} // namespace besweet
