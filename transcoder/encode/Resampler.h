// SPDX-License-Identifier: GPL-3.0-or-later
// The resampler: mixes each frame to the plan's output layout with the rule for a whole file of
// the frame's own layout, weighted by the gain, and converts it to the output's rate and sample
// format. Where the input's channels or rate change, it drains and starts afresh for the new
// kind, so each stretch is treated as that kind of file would be.
#pragma once

#include "cli/RunLog.h"
#include "core/Av.h"
#include "encode/Plan.h"

#include <cstdint>
#include <string>

namespace besweet
{

class Resampler
{
public:
    // log (when given) says which resampler runs. outRate: the plan's output rate, unless given.
    Resampler(const Plan& plan, AVSampleFormat outFormat, double gain, RunLog* log,
              int outRate = 0);
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;
    ~Resampler();

    // Hands each piece of output to sink as a frame.
    template <typename Sink> void convert(const AVFrame& in, Sink&& sink)
    {
        if (!fits(in)) {
            drain(sink);
            start(in);
        }
        run(in.extended_data, in.nb_samples, sink);
    }

    // Hands on what the resampler still holds; the next frame starts a new one.
    template <typename Sink> void drain(Sink&& sink)
    {
        if (!swr_)
            return;
        run(nullptr, 0, sink);
        swr_.reset();
    }

private:
    template <typename Sink> void run(const std::uint8_t* const* in, int inSamples, Sink&& sink)
    {
        for (;;) {
            const int room = swr_get_out_samples(swr_.get(), inSamples);
            if (room <= 0)
                return;
            reserve(room);
            out_->nb_samples = capacity_;
            const int got = checkEach(swr_convert(swr_.get(), out_->extended_data, capacity_,
                                                  const_cast<const std::uint8_t**>(in), inSamples),
                                      [] { return text("resampling failed"); });
            if (got > 0) {
                out_->nb_samples = got;
                sink(*out_);
            }
            // Input given is taken whole; a drain goes on until nothing comes.
            if (in || got == 0)
                return;
        }
    }

    [[nodiscard]] bool fits(const AVFrame& in) const;
    void start(const AVFrame& in);
    void reserve(int samples);

    const Plan& plan_;
    int outRate_;
    AVSampleFormat outFormat_;
    double gain_;
    RunLog* log_;
    SwrPtr swr_;
    // What swr_ was made for.
    AVChannelLayout inLayout_{};
    int inRate_ = 0;
    int inFormat_ = -1;
    FramePtr out_;
    int capacity_ = 0;
};

} // namespace besweet
