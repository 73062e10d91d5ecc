// SPDX-License-Identifier: GPL-3.0-or-later
// Opening, checking and reading the input.
#include "input/Input.h"

#include "cli/Interrupt.h"
#include "cli/Messages.h"
#include "core/Describe.h"
#include "core/FileKind.h"
#include "input/ContainerLength.h"
#include "input/FrameLength.h"
#include "input/FrameWatches.h"
#include "input/PacketWatches.h"
#include "input/StreamChoice.h"
#include "input/Timeline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

extern "C" {
#include <libavutil/opt.h>
}

namespace besweet
{

namespace
{

void checkInputFile(const std::string& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) != 0)
        throw WorkError(text("%s: cannot open: %s", path, systemReason(errno)));
    if (S_ISDIR(info.st_mode))
        throw WorkError(text("%s: is a folder, not an audio file", path));
    if (S_ISREG(info.st_mode) && info.st_size == 0)
        throw WorkError(text("%s: the file is empty", path));
}

AVDictionary* rawPcmOptions(const Options& options)
{
    AVDictionary* dict = nullptr;
    av_dict_set_int(&dict, "sample_rate", options.rawRate, 0);
    av_dict_set(&dict, "ch_layout", "stereo", 0);
    return dict;
}

// Once the demuxer has looked for AC3 or DTS in a WAV's first packets, the PCM comes in packets of
// 16 KiB rather than 4: a quarter of the calls on every stage for the same samples. (Larger
// packets from the start would have it look through four times the bytes.)
void readWavInLargerPackets(AVFormatContext& format)
{
    if (std::strcmp(format.iformat->name, "wav") == 0 && format.priv_data)
        av_opt_set_int(format.priv_data, "max_size", 16384, 0);
}

// Raw PCM ticked for a file of a known format would play its header as noise: a regular file
// whose first bytes any demuxer takes as surely its own is read as what it is. (A pipe cannot be
// looked into before it is read.)
const AVInputFormat* knownFormat(const std::string& path)
{
    if (kindOf(path) != FileKind::Regular)
        return nullptr;
    constexpr std::size_t probeBytes = 64 * 1024;
    std::string head(probeBytes + AVPROBE_PADDING_SIZE, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(head.data(), probeBytes);
    AVProbeData probe{};
    probe.filename = "";
    probe.buf = reinterpret_cast<unsigned char*>(head.data());
    probe.buf_size = static_cast<int>(in.gcount());
    int score = 0;
    const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
    // Frame formats (MPEG audio, AC3) reach this score only after several frames in a row.
    return score > AVPROBE_SCORE_EXTENSION ? format : nullptr;
}

// A RIFF WAV over 4 GiB: FFmpeg would take its wrapped data size as said (and look for chunks all
// through the audio after it), so it reads the file with that size as "to the end".
void readOversizedWavToTheEnd(Input& input, AVFormatContext& format)
{
    if (kindOf(input.path) != FileKind::Regular)
        return;
    input.oversized = oversizedWav(input.path);
    if (!input.oversized)
        return;
    input.wholeWav = std::make_unique<WavReadToTheEnd>(input.path, *input.oversized);
    format.pb = input.wholeWav->io();
}

double bytesPerSecond(const Input& input)
{
    const AVCodecParameters& parameters = *input.stream->codecpar;
    if (av_get_exact_bits_per_sample(parameters.codec_id) > 0)
        return static_cast<double>(parameters.block_align) * parameters.sample_rate;
    return static_cast<double>(parameters.bit_rate) / 8.0;
}

// Throws CutShort when what arrived holds less than the header declares.
void checkHeldWhole(const Input& input, const std::optional<DeclaredLength>& declared,
                    std::uint64_t arrived)
{
    if (!declared || isHeldWhole(*declared, arrived))
        return;
    throw CutShort(text("%s: is cut short: %s", input.path,
                        cutShortText(*declared, arrived, bytesPerSecond(input))));
}

// A file cut short holds less than its header declares; FFmpeg would quietly read what is there,
// but a track missing its end is no success. (A pipe is judged once it has ended.)
void checkComplete(const Input& input)
{
    if (input.bytes <= 0 || kindOf(input.path) != FileKind::Regular)
        return;
    checkHeldWhole(input, declaredLength(input.path), static_cast<std::uint64_t>(input.bytes));
}

// A pipe's length is known once it has ended: what arrived against what its header declares.
void checkArrivedWhole(const Input& input)
{
    if (input.pipe)
        checkHeldWhole(input, declaredLength(input.pipe->head(), input.pipe->arrived()),
                       input.pipe->arrived());
}

// Reads a pipe through a reader that keeps its header and counts what arrives.
void readPipeNotingWhatArrives(Input& input, AVFormatContext& format)
{
    if (kindOf(input.path) != FileKind::Stream)
        return;
    input.pipe = std::make_unique<PipeRead>(input.path);
    format.pb = input.pipe->io();
}

// Why a pipe that FFmpeg could not open cannot be read, where the reason is its layout.
void checkPipeLayout(const Input& input)
{
    if (input.pipe && packetTableAfterAudio(input.pipe->head()))
        throw WorkError(
            text("%s: is a CAF file whose packet table comes after its audio, which a pipe "
                 "cannot go back to: give the file itself rather than a pipe, or move the "
                 "packet table to the front",
                 input.path));
}

// How far into the input file a packet reaches: what progress counts (the reading position
// runs ahead by what the demuxer has buffered).
std::int64_t positionAfter(const Input& input, const AVPacket& packet)
{
    return packet.pos >= 0 ? packet.pos + packet.size : avio_tell(input.format->pb);
}

// An MP4 whose index (moov) comes after its audio: read from a pipe, the index is found only
// past the audio, which a pipe cannot go back to beyond what is buffered.
void checkIndexBeforeAudio(const Input& input)
{
    AVIOContext* io = input.format->pb;
    if (!io || (io->seekable & AVIO_SEEKABLE_NORMAL) ||
        std::strstr(input.format->iformat->name, "mp4") == nullptr)
        return;
    const AVIndexEntry* first = avformat_index_get_entry(input.stream, 0);
    if (!first || avio_seek(io, first->pos, SEEK_SET) >= 0)
        return;
    throw WorkError(
        text("%s: is an MP4 file whose index comes after its audio, which a pipe cannot "
             "go back to: give the file itself rather than a pipe, or move the index "
             "to the front",
             input.path));
}

// Throws when opening the input failed: the reason named as the input's header's.
void checkHeader(int code, const Text& what)
{
    if (code < 0)
        throw WorkError(text("%s: %s", what, headerReason(code)));
}

// A FLAC stream says in its header how many samples it holds; one cut inside its last frame
// decodes to fewer, the rest refused as damage.
void checkDeclaredSamples(const Input& input, std::int64_t samples)
{
    const AVStream& stream = *input.stream;
    const int rate = stream.codecpar->sample_rate;
    if (stream.codecpar->codec_id != AV_CODEC_ID_FLAC || stream.duration <= 0 || rate <= 0)
        return;
    const std::int64_t declared = av_rescale_q(stream.duration, stream.time_base, {1, rate});
    if (samples >= declared)
        return;
    throw CutShort(text("%s: is cut short: its header promises %s, it holds %s", input.path,
                        positionText(input, declared), positionText(input, samples)));
}

// A layout of channels without positions takes the usual positions for its count; true when it
// had none.
bool giveUsualPositions(AVChannelLayout& layout)
{
    if (layout.order != AV_CHANNEL_ORDER_UNSPEC)
        return false;
    const int channels = layout.nb_channels;
    av_channel_layout_uninit(&layout);
    av_channel_layout_default(&layout, channels);
    return true;
}

} // namespace

Input openInput(const Options& options)
{
    Input input;
    input.path = options.input;
    checkInputFile(input.path);

    const AVInputFormat* known = options.rawInput ? knownFormat(input.path) : nullptr;
    if (known)
        input.knownDespiteRaw = known->long_name;
    const bool raw = options.rawInput && !known;
    input.raw = raw;
    const AVInputFormat* forced = raw ? av_find_input_format("s16le") : nullptr;
    AVDictionary* dict = raw ? rawPcmOptions(options) : nullptr;
    // Not yet opened, the context is freed as an output's is: when setting up the reader throws.
    OutputFormatPtr unopened(avformat_alloc_context());
    if (!unopened)
        throw WorkError(text("out of memory"));
    // A signal ends even a read that waits (a pipe as input).
    unopened->interrupt_callback.callback = [](void*) { return receivedSignal() != 0 ? 1 : 0; };
    if (!raw) {
        readOversizedWavToTheEnd(input, *unopened);
        readPipeNotingWhatArrives(input, *unopened);
    }
    AVFormatContext* format = unopened.release();
    // "file:" keeps a name such as "a:b.wav" from being read as a protocol. A failed open frees
    // the context.
    const int opened = avformat_open_input(&format, ("file:" + input.path).c_str(), forced, &dict);
    av_dict_free(&dict);
    stopWhenInterrupted();
    if (opened < 0)
        checkPipeLayout(input);
    checkHeader(opened, text("%s: cannot read as audio", input.path));
    input.format.reset(format);

    const int found = avformat_find_stream_info(format, nullptr);
    stopWhenInterrupted();
    if (found < 0)
        checkPipeLayout(input);
    checkHeader(found, text("%s: cannot read as audio", input.path));
    readWavInLargerPackets(*format);
    input.stream = chooseAudioStream(input);
    if (!input.stream)
        throw WorkError(text("%s: holds no audio this program can decode", input.path));
    checkIndexBeforeAudio(input);
    const AVCodec* codec = avcodec_find_decoder(input.stream->codecpar->codec_id);
    input.bytes = format->pb ? std::max<std::int64_t>(avio_size(format->pb), 0) : 0;

    input.decoder.reset(avcodec_alloc_context3(codec));
    if (!input.decoder)
        throw WorkError(text("out of memory"));
    checkHeader(avcodec_parameters_to_context(input.decoder.get(), input.stream->codecpar),
                text("%s: cannot set up the decoder", input.path));
    input.decoder->pkt_timebase = input.stream->time_base;
    checkHeader(avcodec_open2(input.decoder.get(), codec, nullptr),
                text("%s: cannot open the decoder", input.path));
    if (input.decoder->sample_rate <= 0 || input.decoder->ch_layout.nb_channels <= 0)
        throw WorkError(text("%s: holds no audio with a known rate and channel count", input.path));
    checkRate(input.path, input.decoder->sample_rate, "");
    if (giveUsualPositions(input.decoder->ch_layout))
        input.unmasked = true;
    checkComplete(input);
    return input;
}

void logInput(const Input& input, RunLog& log)
{
    const AVFormatContext& format = *input.format;
    const AVCodecContext& decoder = *input.decoder;
    double duration = 0.0;
    if (input.stream->duration != AV_NOPTS_VALUE)
        duration = static_cast<double>(input.stream->duration) * av_q2d(input.stream->time_base);
    else if (format.duration != AV_NOPTS_VALUE)
        duration = static_cast<double>(format.duration) / AV_TIME_BASE;
    log.line(std::string("input: ") + input.path);
    log.line(std::string("input format: ") + format.iformat->long_name + ", " +
             avcodec_get_name(decoder.codec_id));
    log.line("input channels: " + std::to_string(decoder.ch_layout.nb_channels) + " (" +
             layoutName(decoder.ch_layout) + ")");
    for (const std::string& stream : input.audioStreams)
        log.line("input: audio " + stream);
    if (!input.audioStreams.empty()) {
        log.line("input: audio stream " + std::to_string(input.audioNumber) +
                 " chosen: the most channels, then the highest rate, then the one flagged as "
                 "default, then the first");
        warn(log, text("the input holds %d audio streams; %s is taken: the most channels, then "
                       "the highest rate, then the one flagged as default, then the first",
                       static_cast<int>(input.audioStreams.size()),
                       streamLabel(*input.stream, input.audioNumber)));
    }
    log.line("input rate: " + std::to_string(decoder.sample_rate) + " Hz");
    log.line("input duration: " + seconds(duration));
    if (!input.knownDespiteRaw.empty()) {
        log.line("input: a file of a known format (" + input.knownDespiteRaw +
                 "), read as such; raw PCM (-fs) ignored");
        warn(log, text("%s is a file of a known format (%s): read as such, raw PCM (-fs) ignored",
                       input.path, input.knownDespiteRaw));
    }
    if (input.oversized)
        log.line("input: the data runs to the end of the file, " +
                 std::to_string(input.oversized->bytes) + " bytes: the header's size of " +
                 std::to_string(input.oversized->written) +
                 " bytes, which 32 bits cannot make larger, is ignored");
    if (kindOf(input.path) != FileKind::Regular && !input.raw)
        log.line("input: read from a pipe, whose length is not known beforehand: what arrives "
                 "is held against the length its header declares, where it declares one, once "
                 "the pipe has ended");
}

void checkReadableTwice(const std::string& path)
{
    if (kindOf(path) == FileKind::Stream)
        throw WorkError(text("%s: is a pipe or device, which can be read only once, and -norm "
                             "reads the input twice: save it to a file first, or leave out -norm",
                             path));
}

std::string positionText(const Input& input, std::int64_t samples)
{
    return seconds(static_cast<double>(samples) / input.decoder->sample_rate);
}

void checkNotEmpty(const Input& input, std::int64_t samples)
{
    if (samples == 0)
        throw WorkError(text("%s: holds no audio samples", input.path));
}

void readPackets(Input& input, Progress& progress, const OnPacket& onPacket)
{
    PacketPtr packet = makePacket();
    // A frame shorter than it says waits here: the last one was cut off with the file; one
    // followed by more is damage for the decoder to judge.
    PacketPtr shortFrame = makePacket();
    const CutFrameWatch cutFrames(input.stream->codecpar->codec_id);
    PcmWatch pcm(input);
    ReadStalls stalls;
    input.partialTail = 0;
    for (;;) {
        stopWhenInterrupted();
        const int read = av_read_frame(input.format.get(), packet.get());
        if (read == AVERROR_EOF)
            break;
        stopWhenInterrupted();
        // "Try again": the demuxer skipped what is no packet (a run of zeros in a TS recording);
        // "invalid data": it lost its sync and looks for the next packet.
        if ((read == AVERROR(EAGAIN) || read == AVERROR_INVALIDDATA) &&
            stalls.tryAgain(avio_tell(input.format->pb)))
            continue;
        checkEach(read, [&] { return text("%s: cannot read", input.path); });
        if (packet->stream_index == input.stream->index) {
            input.partialTail += pcm.trim(*packet);
            pcm.checkFinite(*packet);
            if (shortFrame->size > 0) {
                onPacket(*shortFrame);
                av_packet_unref(shortFrame.get());
            }
            if (cutFrames.tooShort(*packet))
                av_packet_move_ref(shortFrame.get(), packet.get());
            else if (packet->size > 0)
                onPacket(*packet);
        }
        progress.update(positionAfter(input, *packet), input.bytes);
        av_packet_unref(packet.get());
    }
    if (shortFrame->size > 0)
        throw CutShort(text("%s: is cut short: its last frame is incomplete", input.path));
    checkArrivedWhole(input);
}

std::int64_t decodeAll(Input& input, Progress& progress, const OnFrame& onFrame, RunLog* changes,
                       std::int64_t limit)
{
    struct Enough {
    };
    AVCodecContext* decoder = input.decoder.get();
    FramePtr frame = makeFrame();
    std::int64_t samples = 0;
    ShapeWatch shape(input, changes);
    DecodeDamage damage(input, changes);
    Timeline timeline(input, changes);
    double decoded = 0.0; // seconds decoded, ahead of those handed on by what the time line holds
    // Hands a frame on, stopping once the limit is reached.
    const auto hand = [&](const AVFrame& piece) {
        shape.see(piece);
        samples += piece.nb_samples;
        onFrame(piece);
        if (limit > 0 && samples >= limit)
            throw Enough{};
    };
    // Where MP3 files were joined with cat, the second one's tag sits among the frames: passed
    // over, as a player does, and the log says where.
    const bool framed = hasFrameLengthInHeader(input.stream->codecpar->codec_id);
    const auto receiveFrames = [&] {
        for (;;) {
            const int got = avcodec_receive_frame(decoder, frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            if (damage.skipped(got, decoded))
                continue;
            damage.decoded();
            if (frame->sample_rate > 0)
                decoded += static_cast<double>(frame->nb_samples) / frame->sample_rate;
            giveUsualPositions(frame->ch_layout);
            FramePtr decoded = makeFrame();
            av_frame_move_ref(decoded.get(), frame.get());
            timeline.add(std::move(decoded), hand);
        }
    };
    try {
        readPackets(input, progress, [&](const AVPacket& packet) {
            if (framed && isTag(packet)) {
                if (changes)
                    changes->line("input: a tag of " + std::to_string(packet.size) +
                                  " bytes near " + seconds(decoded) +
                                  " skipped (files joined into one?)");
                return;
            }
            timeline.see(packet);
            damage.skipped(avcodec_send_packet(decoder, &damage.sending(packet, decoded)), decoded);
            receiveFrames();
        });
        check(avcodec_send_packet(decoder, nullptr),
              text("%s: cannot finish decoding", input.path));
        receiveFrames();
        timeline.finish(hand);
    } catch (const Enough&) {
        return samples;
    }
    damage.skipTrailing(input.pipe ? static_cast<std::int64_t>(input.pipe->arrived())
                                   : input.bytes);
    checkDeclaredSamples(input, samples);
    if (changes && input.partialTail > 0)
        changes->line("input: the last " + std::to_string(input.partialTail) +
                      " bytes are less than a whole sample frame; dropped");
    return samples;
}

} // namespace besweet
