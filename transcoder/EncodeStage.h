// SPDX-License-Identifier: GPL-3.0-or-later
// The encode stage: takes decoded frames, converts them (mix, gain, rate) for the encoder, cuts
// them into the encoder's frames through a FIFO, has them encoded and writes the packets into
// the output's temporary file, renamed into place once all is done. When asked, each packet is
// decoded again as it is written, so the decoded track's peak is known before it is kept.
#pragma once

#include "Av.h"
#include "DecodedPeak.h"
#include "FrameEncoder.h"
#include "Options.h"
#include "OutputFile.h"
#include "Plan.h"
#include "Resampler.h"
#include "RunLog.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace besweet
{

// The muxer writing into the temporary file; the members go in this order so the muxer is
// freed before its I/O context, and both before the file.
struct Output {
    explicit Output(const std::string& target) : file(target) {}
    OutputFile file;
    IoContextPtr io;
    OutputFormatPtr format;
    AVStream* stream = nullptr;
};

class EncodeStage
{
public:
    enum class Measure { Nothing, DecodedPeak };

    EncodeStage(const Options& options, const Plan& plan, double gain, Measure measure,
                RunLog& log);
    EncodeStage(const EncodeStage&) = delete;
    EncodeStage& operator=(const EncodeStage&) = delete;
    ~EncodeStage();

    void add(const AVFrame& decoded);
    // Everything the resampler still holds, then the FIFO's last, partial frame, then what
    // the encoder still holds, then the trailer.
    void finish();
    // The finished file in place of the target.
    void commit();
    // Of the track as finished, when measured.
    [[nodiscard]] double decodedPeak() const { return decoded_ ? decoded_->peak() : 0.0; }

private:
    void toFifo(const AVFrame& converted);
    void encodeWhole();
    void encodeRest();
    [[nodiscard]] FramePtr emptyFrame();
    void encodeFromFifo(int samples);
    void write(AVPacket& packet);

    const Options& options_;
    CodecContextPtr encoder_;
    Output output_;
    int frameSize_;
    Resampler resampler_;
    FifoPtr fifo_;
    BufferPoolPtr pool_; // the encoder's frames' samples; null: each frame allocates its own
    std::int64_t samplesSent_ = 0;
    std::optional<DecodedPeak> decoded_; // fed by whichever thread writes
    // Stopped before the output and the encoder go.
    std::unique_ptr<FrameEncoder> frames_;
};

} // namespace besweet
