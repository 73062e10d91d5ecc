// SPDX-License-Identifier: GPL-3.0-or-later
// The encode stage: takes decoded frames, converts them (mix, gain, rate) for the encoder, cuts
// them into the encoder's frames through a FIFO, has them encoded and writes the packets into
// the output's temporary file, renamed into place once all is done. The loudness is that of the
// samples the encoder takes. A normalised track is decoded again as it is written, so its peak is
// known before it is kept; another only where what the encoder took came near enough to full
// scale for the track to clip, once it is written. A kept track ends the run with a summary of
// what was delivered.
#pragma once

#include "cli/Options.h"
#include "cli/RunLog.h"
#include "core/Av.h"
#include "encode/FrameEncoder.h"
#include "encode/OpenEncoder.h"
#include "encode/Plan.h"
#include "encode/Resampler.h"
#include "encode/TrackFile.h"
#include "level/DecodedTrack.h"
#include "level/LoudnessMeter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace besweet
{

// The muxer writing into the temporary file; the members go in this order so the muxer is
// freed before its I/O context, and both before the file.
struct Output {
    explicit Output(std::unique_ptr<TrackFile> opened) : file(std::move(opened)) {}
    std::unique_ptr<TrackFile> file;
    IoContextPtr io;
    OutputFormatPtr format;
    AVStream* stream = nullptr;
};

class EncodeStage
{
public:
    // The track is written into the file openFile gives for the target. measured: the loudness
    // of the input as the encoder takes it at unit gain, measured before (a normalised run,
    // whose track is decoded as it is encoded); without it, the stage measures what it gives
    // the encoder.
    EncodeStage(const Options& options, const Plan& plan, double gain, RunLog& log,
                const OpenTrackFile& openFile, const LoudnessMeter* measured = nullptr);
    EncodeStage(const EncodeStage&) = delete;
    EncodeStage& operator=(const EncodeStage&) = delete;
    ~EncodeStage();

    void add(const AVFrame& decoded);
    // Everything the resampler still holds, then the FIFO's last, partial frame, then what
    // the encoder still holds, then the trailer.
    void finish();
    // The finished file in place of the target, and the summary of what was delivered on
    // standard output and in the log.
    void commit();
    // Of the track as finished, decoded as it was encoded.
    [[nodiscard]] double decodedPeak() const { return decoded_->peak(); }

private:
    void toFifo(const AVFrame& converted);
    void encodeWhole();
    void encodeRest();
    [[nodiscard]] FramePtr emptyFrame();
    void encodeFromFifo(int samples);
    void hand(FramePtr frame);
    [[nodiscard]] std::vector<PacketPtr> openingPackets(const EncoderSettings& settings,
                                                        bool whole);
    void encodeOpening(bool whole);
    void write(AVPacket& packet);
    void checkFramesReadable();
    void decodeWhereItMayClip();

    const Plan& plan_;
    RunLog& log_;
    EncoderSettings settings_;

    const Options& options_;
    CodecContextPtr encoder_;
    Output output_;
    int frameSize_;
    Resampler resampler_;
    FifoPtr fifo_;
    BufferPoolPtr pool_; // the encoder's frames' samples; null: each frame allocates its own
    std::int64_t samplesSent_ = 0;
    std::optional<DecodedTrack> decoded_; // fed by whichever thread writes
    std::optional<LoudnessMeter> meter_;  // of what the encoder takes, unless measured before
    const LoudnessMeter* measured_;
    double gain_;
    LoudnessFigures loudness_;
    std::int64_t durationWritten_ = 0; // by whichever thread writes; in samples
    // Layer II joint stereo: the first frames, held until the opening is encoded; plain stereo
    // packets that stand in for the first ones where these change mode (see hand()).
    bool openingDue_ = false;
    std::vector<FramePtr> held_;
    std::vector<PacketPtr> opening_;
    std::size_t packetsWritten_ = 0; // by whichever thread writes
    std::vector<std::uint32_t> firstHeaders_;
    // Stopped before the output and the encoder go.
    std::unique_ptr<FrameEncoder> frames_;
};

} // namespace besweet
