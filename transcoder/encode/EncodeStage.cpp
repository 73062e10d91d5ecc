// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the encoder and the output, and feeding the encoder whole frames.
#include "encode/EncodeStage.h"

#include "cli/Messages.h"
#include "core/Decibels.h"
#include "core/Describe.h"
#include "encode/Ac3Dialnorm.h"
#include "encode/MpegAudioStart.h"
#include "encode/OpenEncoder.h"
#include "level/SummaryLine.h"

#include <cmath>
#include <cstdlib>
#include <optional>

extern "C" {
#include <libavutil/opt.h>
}

namespace besweet
{

namespace
{

// Sample frames per encoder call for encoders that take any size (PCM).
constexpr int AnySizeFrame = 4096;

// Chunks of about this long keep both encoders busy and little audio in memory.
constexpr double ChunkSeconds = 4.0;
// Enough for each encoder's state to settle. The AC3 encoder carries the transform's overlap
// (half a block) and where its bit allocation search starts from frame to frame, and gives a
// packet for each frame it takes: one frame either side (a 48 kHz track comes out byte for byte
// as one encoder's). The Layer II filter bank reaches 512 samples back and its psychoacoustic
// model two frames.
struct Margins {
    int leadIn;
    int runOut;
};
constexpr Margins Ac3Margins{1, 1};
constexpr Margins LayerIIMargins{3, 2};
// The frames of a joint stereo Layer II track encoded in plain stereo (see hand()).
constexpr int OpeningFrames = 2;
constexpr int ChunkWorkers = 2;
constexpr std::size_t ChunksOnTheirWay = 2 * ChunkWorkers;

std::string encoderSettings(const Options& options, const Plan& plan, const EncoderSettings& chosen)
{
    std::string settings = encoderName(options.codec) + ", " + layoutName(plan.outLayout) + ", " +
                           std::to_string(plan.outRate) + " Hz";
    if (options.codec != Codec::Wav)
        settings += ", " + std::to_string(options.kbps) + " kbps";
    if (options.codec == Codec::LayerII)
        settings += std::string(", mode ") + twolameMode(options.mode);
    if (options.codec == Codec::Ac3)
        settings += options.dialnorm ? ", dialogue level " + std::to_string(chosen.dialnorm)
                                     : std::string(", dialogue level: the loudness measured");
    return settings;
}

void openOutput(Output& output, const Options& options, const AVCodecContext& encoder)
{
    output.io = output.file->makeIoContext();
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, muxerName(options.codec), nullptr),
          text("%s: cannot set up the output", options.output));
    output.format.reset(raw);
    raw->pb = output.io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    output.stream = avformat_new_stream(raw, nullptr);
    if (!output.stream)
        throw WorkError(text("out of memory"));
    check(avcodec_parameters_from_context(output.stream->codecpar, &encoder),
          text("%s: cannot set up the output", options.output));
    output.stream->time_base = encoder.time_base;
    check(avformat_write_header(raw, nullptr), text("%s: cannot write", options.output));
}

// The encoder's frames are many, all alike, and let go of on the encoding threads: their samples
// come from a pool rather than from the allocator each time. Frames with more planes than a frame
// holds pointers for get their own buffers.
[[nodiscard]] BufferPoolPtr initPool(const AVCodecContext& encoder, int frameSize)
{
    if (encoder.ch_layout.nb_channels > AV_NUM_DATA_POINTERS)
        return nullptr;
    const int size = av_samples_get_buffer_size(nullptr, encoder.ch_layout.nb_channels, frameSize,
                                                encoder.sample_fmt, 0);
    BufferPoolPtr pool(size > 0 ? av_buffer_pool_init(static_cast<std::size_t>(size), nullptr)
                                : nullptr);
    if (!pool)
        throw WorkError(text("out of memory"));
    return pool;
}

[[nodiscard]] FifoPtr initFifo(const AVCodecContext& encoder, int frameSize)
{
    FifoPtr fifo(av_audio_fifo_alloc(encoder.sample_fmt, encoder.ch_layout.nb_channels, frameSize));
    if (!fifo)
        throw WorkError(text("out of memory"));
    return fifo;
}

// BESWEET_CHUNK_FRAMES overrides the chunk length in frames, 0 for one encoder: for tests and
// measurements.
std::optional<int> chunkFramesFromEnvironment()
{
    const char* text = std::getenv("BESWEET_CHUNK_FRAMES");
    if (!text || !*text)
        return std::nullopt;
    char* end = nullptr;
    const long frames = std::strtol(text, &end, 10);
    if (*end != '\0' || frames < 0 || frames > 1000000)
        return std::nullopt;
    return static_cast<int>(frames);
}

// How the encoding is spread over the cores: chunks of so many frames, or (frames 0) one
// encoder for the whole stream.
Chunking planChunking(const Options& options, const AVCodecContext& encoder, int frameSize)
{
    // PCM has nothing to gain.
    if (options.codec == Codec::Wav)
        return {};
    const int frames = chunkFramesFromEnvironment().value_or(
        static_cast<int>(std::lround(ChunkSeconds * encoder.sample_rate / frameSize)));
    if (frames <= 0)
        return {};
    const Margins margins = options.codec == Codec::Ac3 ? Ac3Margins : LayerIIMargins;
    return {frames, margins.leadIn, margins.runOut, ChunkWorkers, ChunksOnTheirWay};
}

// The first four bytes of a packet, big endian: an MPEG audio frame's header.
std::uint32_t headerOf(const AVPacket& packet)
{
    if (packet.size < 4)
        return 0;
    return static_cast<std::uint32_t>(packet.data[0]) << 24 |
           static_cast<std::uint32_t>(packet.data[1]) << 16 |
           static_cast<std::uint32_t>(packet.data[2]) << 8 | packet.data[3];
}

// How far above the samples it takes an encoder's decoded track may peak: the highest overshoot
// over the true peak bench/encoder_overshoot.cpp finds on any material (3.0 dB, Layer II on white
// noise), and as much again for the true peak over the samples (full-band noise: white noise at
// 0.75 decodes 4.3 dB higher as AC3). PCM is written as it is taken and cannot pass full scale.
bool mayClip(Codec codec, double samplePeak)
{
    constexpr double OvershootDecibels = 6.0;
    return codec != Codec::Wav && samplePeak >= fromDecibels(-OvershootDecibels);
}

int encoderFrameSize(const AVCodecContext& encoder)
{
    const bool anySize =
        (encoder.codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || encoder.frame_size <= 0;
    return anySize ? AnySizeFrame : encoder.frame_size;
}

} // namespace

EncodeStage::EncodeStage(const Options& options, const Plan& plan, double gain, RunLog& log,
                         const OpenTrackFile& openFile, const LoudnessMeter* measured)
    : plan_(plan), log_(log), settings_{options.mode, options.dialnorm.value_or(DialnormNeutral)},
      options_(options), encoder_(openEncoder(options, plan, settings_)),
      output_(openFile(options.output)), frameSize_(encoderFrameSize(*encoder_)),
      resampler_(plan, encoder_->sample_fmt, gain, &log), fifo_(initFifo(*encoder_, frameSize_)),
      pool_(initPool(*encoder_, frameSize_)), measured_(measured), gain_(gain)
{
    if (measured)
        decoded_.emplace(*encoder_, options.output);
    else
        meter_.emplace(encoder_->ch_layout, encoder_->sample_rate);
    openingDue_ = options.codec == Codec::LayerII && options.mode == 'j' &&
                  encoder_->ch_layout.nb_channels == 2;
    log.line("encoder: " + encoderSettings(options, plan, settings_));
    openOutput(output_, options, *encoder_);
    const auto write = [this](AVPacket& packet) { this->write(packet); };
    const Chunking chunking = planChunking(options, *encoder_, frameSize_);
    if (chunking.frames > 0) {
        log.line("encoding: " + std::to_string(chunking.workers) + " encoders, chunks of " +
                 std::to_string(chunking.frames) + " frames");
        frames_ = makeChunkedEncoder(
            options.output, chunking,
            [&options, &plan, settings = settings_] {
                return openEncoder(options, plan, settings);
            },
            -encoder_->initial_padding, frameSize_, write);
    } else {
        frames_ = makeThreadedEncoder(options.output, *encoder_, frameSize_, write);
    }
}

EncodeStage::~EncodeStage() = default;

void EncodeStage::add(const AVFrame& decoded)
{
    resampler_.convert(decoded, [this](const AVFrame& converted) { toFifo(converted); });
    encodeWhole();
}

void EncodeStage::finish()
{
    resampler_.drain([this](const AVFrame& converted) { toFifo(converted); });
    encodeWhole();
    encodeRest();
    if (samplesSent_ == 0)
        throw WorkError(
            text("%s: no audio came out of the conversion; nothing written", options_.output));
    if (openingDue_)
        encodeOpening(true);
    frames_->finish();
    if (decoded_)
        decoded_->finish();
    check(av_write_trailer(output_.format.get()), text("%s: cannot write", options_.output));
    avio_flush(output_.io.get());
    if (output_.io->error < 0)
        check(output_.io->error, text("%s: cannot write", options_.output));
    checkFramesReadable();
    loudness_ = measured_ ? measured_->figures(gain_) : meter_->figures();
    decodeWhereItMayClip();
    if (options_.codec == Codec::Ac3 && !options_.dialnorm) {
        const int dialnorm = dialnormFor(loudness_.integrated);
        setDialnormInFile(output_.file->descriptor(), dialnorm, options_.output);
        log_.line("dialogue level: " + std::to_string(dialnorm) + " (the loudness measured)");
    }
}

void EncodeStage::commit()
{
    output_.file->commit();
    const Text summary = summaryLine(static_cast<double>(durationWritten_) / encoder_->sample_rate,
                                     loudness_, decoded_ ? decoded_->truePeak() : -1.0);
    say("%s\n", summary.local.c_str());
    log_.line(summary.english);
}

// FFmpeg's MPEG audio reader takes a track whose first frames differ in their header's mode
// for junk, and drops frames until two agree (MpegAudioStart.h): a track must start so that
// every frame written is read.
void EncodeStage::checkFramesReadable()
{
    if (options_.codec != Codec::LayerII)
        return;
    const int skipped = framesMpegReaderSkips(firstHeaders_);
    const auto written = static_cast<std::int64_t>(packetsWritten_);
    if (decoded_ && decoded_->packets() != written)
        throw WorkError(text("%s: the encoded track does not decode", options_.output));
    log_.line("frames: " + std::to_string(written) + " written, " +
              std::to_string(written - skipped) + " read by FFmpeg's MPEG audio reader");
    if (skipped > 0)
        warn(log_, text("%s: programs built on FFmpeg skip the first %d frames of the track",
                        options_.output, skipped));
}

// A track not decoded as it was written is decoded from the file where the samples the encoder
// took came within its overshoot of full scale; one that then peaks above full scale is kept,
// with a warning that says how to make it whole.
void EncodeStage::decodeWhereItMayClip()
{
    if (decoded_ || !mayClip(options_.codec, meter_->samplePeak()))
        return;
    decoded_.emplace(*encoder_, options_.output);
    decoded_->addFile(output_.file->descriptor(), encoder_->codec_id);
    const double peak = decoded_->peak();
    log_.line("decoded peak: " + decibels(peak) + "FS");
    if (peak > 1.0)
        warn(log_, text("%s: the track peaks at %sFS, above full scale, and clips in players: "
                        "normalise it to 95 %% with -norm 0.95",
                        options_.output, decibels(peak)));
}

void EncodeStage::toFifo(const AVFrame& converted)
{
    if (meter_)
        meter_->add(converted);
    if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted.extended_data),
                            converted.nb_samples) < converted.nb_samples)
        throw WorkError(text("out of memory"));
}

void EncodeStage::encodeWhole()
{
    while (av_audio_fifo_size(fifo_.get()) >= frameSize_)
        encodeFromFifo(frameSize_);
}

void EncodeStage::encodeRest()
{
    const int rest = av_audio_fifo_size(fifo_.get());
    if (rest > 0)
        encodeFromFifo(rest);
}

FramePtr EncodeStage::emptyFrame()
{
    if (FramePtr frame = frames_->reuse()) {
        check(av_frame_make_writable(frame.get()), text("out of memory"));
        return frame;
    }
    FramePtr frame = makeFrame();
    frame->nb_samples = frameSize_;
    frame->format = encoder_->sample_fmt;
    frame->sample_rate = encoder_->sample_rate;
    check(av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout), text("channel layout"));
    if (!pool_) {
        check(av_frame_get_buffer(frame.get(), 0), text("out of memory"));
        return frame;
    }
    frame->buf[0] = av_buffer_pool_get(pool_.get());
    if (!frame->buf[0])
        throw WorkError(text("out of memory"));
    check(av_samples_fill_arrays(frame->data, frame->linesize, frame->buf[0]->data,
                                 encoder_->ch_layout.nb_channels, frameSize_, encoder_->sample_fmt,
                                 0),
          text("out of memory"));
    frame->extended_data = frame->data;
    return frame;
}

void EncodeStage::encodeFromFifo(int samples)
{
    FramePtr frame = emptyFrame();
    av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), samples);
    const bool shortAllowed = encoder_->codec->capabilities &
                              (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    frame->nb_samples = frameSize_;
    if (samples < frameSize_) {
        if (shortAllowed)
            frame->nb_samples = samples;
        else
            av_samples_set_silence(frame->extended_data, samples, frameSize_ - samples,
                                   encoder_->ch_layout.nb_channels, encoder_->sample_fmt);
    }
    frame->pts = samplesSent_;
    samplesSent_ += frame->nb_samples;
    hand(std::move(frame));
}

// libtwolame in joint stereo writes each frame that fits without joint coding as a plain stereo
// frame, so the header's mode may change from one frame to the next, and FFmpeg's MPEG audio
// reader drops a start whose first two frames differ (MpegAudioStart.h). The first frames are
// therefore held until they are encoded, with their run-out, as this track's encoder encodes
// them and by a second encoder in plain stereo. Where the first two differ in mode, the plain
// stereo packets stand in for them: the joint stereo encoder goes on from the same state (its
// filter bank and psychoacoustic model do not depend on the mode), and only those 48 ms lose
// what joint coding gave them.
void EncodeStage::hand(FramePtr frame)
{
    if (!openingDue_) {
        frames_->add(std::move(frame));
        return;
    }
    held_.push_back(std::move(frame));
    if (held_.size() >= static_cast<std::size_t>(OpeningFrames + LayerIIMargins.runOut))
        encodeOpening(false);
}

// The first packets an encoder with these settings gives for the held frames; whole: they are
// the whole track, so the encoder is flushed.
std::vector<PacketPtr> EncodeStage::openingPackets(const EncoderSettings& settings, bool whole)
{
    CodecContextPtr encoder = openEncoder(options_, plan_, settings);
    std::vector<PacketPtr> packets;
    const auto failed = [&] { return text("%s: encoding failed", options_.output); };
    const auto receive = [&] {
        receivePackets(
            *encoder,
            [&](PacketPtr packet) {
                if (packets.size() < static_cast<std::size_t>(OpeningFrames))
                    packets.push_back(std::move(packet));
            },
            failed);
    };
    for (const FramePtr& frame : held_) {
        FramePtr copy(av_frame_clone(frame.get()));
        if (!copy)
            throw WorkError(text("out of memory"));
        checkEach(avcodec_send_frame(encoder.get(), copy.get()), failed);
        receive();
    }
    if (whole) {
        checkEach(avcodec_send_frame(encoder.get(), nullptr), failed);
        receive();
    }
    return packets;
}

void EncodeStage::encodeOpening(bool whole)
{
    openingDue_ = false;
    const std::vector<PacketPtr> own = openingPackets(settings_, whole);
    std::vector<std::uint32_t> headers;
    for (const PacketPtr& packet : own)
        headers.push_back(headerOf(*packet));
    if (framesMpegReaderSkips(headers) > 0) {
        EncoderSettings stereo = settings_;
        stereo.mode = 's';
        opening_ = openingPackets(stereo, whole);
        log_.line("opening: the first " + std::to_string(opening_.size()) +
                  " frames in plain stereo, as joint stereo changes its mode between them");
    }
    for (FramePtr& frame : held_)
        frames_->add(std::move(frame));
    held_.clear();
}

void EncodeStage::write(AVPacket& packet)
{
    if (packetsWritten_ < opening_.size()) {
        // The opening's packet in this one's place, at this one's time.
        const std::int64_t pts = packet.pts;
        const std::int64_t dts = packet.dts;
        const std::int64_t duration = packet.duration;
        av_packet_unref(&packet);
        check(av_packet_ref(&packet, opening_[packetsWritten_].get()), text("out of memory"));
        packet.pts = pts;
        packet.dts = dts;
        packet.duration = duration;
    }
    ++packetsWritten_;
    durationWritten_ += packet.duration > 0 ? packet.duration : frameSize_;
    if (firstHeaders_.size() < MpegHeadersLookedAt)
        firstHeaders_.push_back(headerOf(packet));
    if (decoded_)
        decoded_->add(packet);
    av_packet_rescale_ts(&packet, encoder_->time_base, output_.stream->time_base);
    packet.stream_index = output_.stream->index;
    checkEach(av_write_frame(output_.format.get(), &packet),
              [&] { return text("%s: cannot write", options_.output); });
}

} // namespace besweet
