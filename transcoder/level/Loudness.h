// SPDX-License-Identifier: GPL-3.0-or-later
// Loudness as ITU-R BS.1770-4 and EBU R128 define it: the integrated loudness and the loudness
// range measured by libebur128, and the true peak by the meter the peak pass uses (TruePeak.h,
// the same Annex 2 filter), which skips what cannot raise the peak found so far and so costs a
// third of libebur128's own. Takes decoded frames of any sample format. libebur128's filter and
// gating, as costly as decoding an AC3 track, run on a thread of their own beside the true peak,
// so measuring keeps pace with the encoders.
#pragma once

#include "core/Av.h"
#include "level/TruePeak.h"

#include <condition_variable>
#include <deque>
#include <ebur128.h>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
    // Stops the thread; what it has not measured is dropped.
    ~Loudness();

    // Waits while much is queued for libebur128; throws its failure.
    void add(const AVFrame& frame);
    // Measures what is queued; throws a failure. Call once, before figures().
    void finish();
    [[nodiscard]] LoudnessFigures figures() const { return figures_; }
    // The highest sample taken so far, 1.0 being full scale.
    [[nodiscard]] double samplePeak() const;

private:
    void interleave(const AVFrame& frame);
    void handFilled();
    void keepFigures();
    void feedQueued();

    struct StateDeleter {
        void operator()(ebur128_state* state) const;
    };
    std::unique_ptr<ebur128_state, StateDeleter> state_;
    int channels_;
    // Interleaved samples gathered until a block is full; its first filled_ are taken.
    std::vector<float> interleaved_;
    std::size_t filled_ = 0;
    std::vector<TruePeak> truePeaks_; // one per channel
    LoudnessFigures figures_;

    std::mutex mutex_;
    std::condition_variable changed_;
    struct Block {
        std::vector<float> samples;
        std::size_t frames;
    };
    std::deque<Block> queued_;              // for libebur128
    std::vector<std::vector<float>> spare_; // blocks measured, to fill again
    bool finishing_ = false;                // nothing more comes
    bool stopped_ = false;                  // by the destructor or a failure
    std::exception_ptr failure_;
    std::thread thread_; // last: starts once everything else is there
};

// "Delivered: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP": what a good run delivered, in the
// units the window looks for (common/RunSummary.h).
[[nodiscard]] Text summaryLine(double seconds, const LoudnessFigures& figures);

} // namespace besweet
