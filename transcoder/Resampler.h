// The resampler: the plan's mix weighted by the gain, from the input's rate to the output's, in
// the sample format the encoder takes.
#pragma once

#include "Av.h"
#include "Plan.h"
#include "RunLog.h"

#include <cstdint>
#include <string>

namespace besweet
{

class Resampler
{
public:
    // log (when given) says which resampler runs.
    Resampler(const Plan& plan, AVSampleFormat inFormat, AVSampleFormat outFormat, double gain,
              RunLog* log);

    // Hands each piece of output to sink as a frame; null input drains the resampler.
    template <typename Sink> void convert(const std::uint8_t* const* in, int inSamples, Sink&& sink)
    {
        for (;;) {
            const int room = swr_get_out_samples(swr_.get(), inSamples);
            if (room <= 0)
                return;
            reserve(room);
            out_->nb_samples = capacity_;
            const int got = checkEach(swr_convert(swr_.get(), out_->extended_data, capacity_,
                                                  const_cast<const std::uint8_t**>(in), inSamples),
                                      [] { return std::string("resampling failed"); });
            if (got > 0) {
                out_->nb_samples = got;
                sink(*out_);
            }
            // Input given is taken whole; a drain goes on until nothing comes.
            if (in || got == 0)
                return;
        }
    }

private:
    void reserve(int samples);

    SwrPtr swr_;
    FramePtr out_;
    AVSampleFormat format_;
    const AVChannelLayout& layout_;
    int rate_;
    int capacity_ = 0;
};

} // namespace besweet
