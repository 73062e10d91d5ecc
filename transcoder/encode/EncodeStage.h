// SPDX-License-Identifier: GPL-3.0-or-later
// The encode stage: takes decoded frames, converts them (mix, gain, rate) for the encoder, cuts
// them into the encoder's frames through a FIFO, has them encoded and writes the packets into
// the output's temporary file, renamed into place once all is done. Each packet is decoded
// again as it is written, so the decoded track's peak and loudness are known before it is kept,
// and a kept track ends the run with a summary of what was delivered.
#pragma once

#include "cli/Options.h"
#include "cli/RunLog.h"
#include "core/Av.h"
#include "encode/FrameEncoder.h"
#include "encode/Plan.h"
#include "encode/Resampler.h"
#include "encode/TrackFile.h"
#include "level/DecodedTrack.h"

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

// What an encoder is opened with beside the options: the Layer II mode (the opening frames of a
// joint stereo track are plain stereo) and the AC3 dialogue level.
struct EncoderSettings {
    char mode;
    int dialnorm;
};

class EncodeStage
{
public:
    // Every track is decoded again as it is encoded. The track is written into the file
    // openFile gives for the target.
    EncodeStage(const Options& options, const Plan& plan, double gain, RunLog& log,
                const OpenTrackFile& openFile);
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
    // Of the track as finished.
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
