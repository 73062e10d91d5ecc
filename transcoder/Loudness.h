// SPDX-License-Identifier: GPL-3.0-or-later
// Loudness as ITU-R BS.1770-4 and EBU R128 define it: the integrated loudness and the loudness
// range measured by libebur128, and the true peak by the meter the peak pass uses (TruePeak.h,
// the same Annex 2 filter), which skips what cannot raise the peak found so far and so costs a
// third of libebur128's own. Takes decoded frames of any sample format.
#pragma once

#include "Av.h"
#include "TruePeak.h"

#include <ebur128.h>
#include <memory>
#include <string>
#include <vector>

namespace besweet
{

struct LoudnessFigures {
    double integrated = 0.0; // LUFS; -infinity for silence
    double range = 0.0;      // LU
    double truePeak = 0.0;   // linear, 1.0 is full scale
};

class Loudness
{
public:
    Loudness(int channels, int rate);
    Loudness(const Loudness&) = delete;
    Loudness& operator=(const Loudness&) = delete;
    ~Loudness();

    void add(const AVFrame& frame);
    [[nodiscard]] LoudnessFigures figures() const;

private:
    struct StateDeleter {
        void operator()(ebur128_state* state) const;
    };
    std::unique_ptr<ebur128_state, StateDeleter> state_;
    int channels_;
    std::vector<float> interleaved_;
    std::vector<TruePeak> truePeaks_; // one per channel
};

// "Delivered: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP": what a good run delivered, in the
// units the window looks for (common/RunSummary.h).
[[nodiscard]] Text summaryLine(double seconds, const LoudnessFigures& figures);

} // namespace besweet
