// SPDX-License-Identifier: GPL-3.0-or-later
// Opening, checking and reading the input.
#include "input/Input.h"

#include "cli/Interrupt.h"
#include "cli/Messages.h"
#include "core/ChannelMix.h"
#include "core/Describe.h"
#include "core/FileKind.h"
#include "input/ContainerLength.h"
#include "input/FrameLength.h"
#include "input/Timeline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <tuple>

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

// A file cut short holds less than its header declares; FFmpeg would quietly read what is there,
// but a track missing its end is no success. (A pipe's length is not known beforehand.)
void checkComplete(const Input& input)
{
    if (input.bytes <= 0 || kindOf(input.path) != FileKind::Regular)
        return;
    const auto declared = declaredLength(input.path);
    const auto size = static_cast<std::uint64_t>(input.bytes);
    if (!declared || isHeldWhole(*declared, size))
        return;
    throw WorkError(text("%s: is cut short: %s", input.path,
                         cutShortText(*declared, size, bytesPerSecond(input))));
}

// where: empty, or the position from which the rate holds ("00:01:02.3").
void checkRate(const std::string& path, int rate, const std::string& where)
{
    if (rate >= LowestRate && rate <= HighestRate)
        return;
    if (where.empty())
        throw WorkError(text("%s: has a sample rate of %d Hz, which no recording has (%d to %d "
                             "Hz); the file is damaged",
                             path, rate, LowestRate, HighestRate));
    throw WorkError(text("%s: has a sample rate of %d Hz from %s on, which no recording has "
                         "(%d to %d Hz); the file is damaged",
                         path, rate, where, LowestRate, HighestRate));
}

// How far into the input file a packet reaches: what progress counts (the reading position
// runs ahead by what the demuxer has buffered).
std::int64_t positionAfter(const Input& input, const AVPacket& packet)
{
    return packet.pos >= 0 ? packet.pos + packet.size : avio_tell(input.format->pb);
}

// MPEG audio and AC3 frames say in their header how long they are. A last frame shorter than
// that was cut off with the file, which FFmpeg's decoders would quietly decode as if whole.
class CutFrameWatch
{
public:
    explicit CutFrameWatch(AVCodecID codec)
        : codec_(codec), watching_(hasFrameLengthInHeader(codec))
    {
    }

    // True when the packet is shorter than its header says, or ends in the start of another
    // frame too short to be parsed on its own (the parser hands such a piece on with the frame
    // before it).
    [[nodiscard]] bool tooShort(const AVPacket& packet) const
    {
        if (!watching_)
            return false;
        const auto size = static_cast<std::size_t>(packet.size);
        if (size < shortestHeader)
            return true;
        const auto length = frameLength(codec_, packet.data, size);
        if (!length)
            return false;
        return size < *length ||
               (size > *length && startsFrame(codec_, packet.data + *length, size - *length));
    }

private:
    static constexpr std::size_t shortestHeader = 4;
    AVCodecID codec_;
    bool watching_;
};

// PCM as it is read: a last partial sample frame (a data length not a whole number of frames)
// is dropped, and a float sample that is not a finite number is corrupt data.
class PcmWatch
{
public:
    explicit PcmWatch(const Input& input)
        : input_(input), blockAlign_(pcmBlockAlign(*input.stream->codecpar)),
          floatBytes_(floatSampleBytes(input.stream->codecpar->codec_id)),
          bigEndian_(isBigEndian(input.stream->codecpar->codec_id))
    {
    }

    // Trims the packet to whole sample frames; returns the bytes dropped.
    int trim(AVPacket& packet) const
    {
        if (blockAlign_ <= 0)
            return 0;
        const int partial = packet.size % blockAlign_;
        packet.size -= partial;
        return partial;
    }

    void checkFinite(const AVPacket& packet)
    {
        if (floatBytes_ > 0) {
            const auto bad = firstOutOfRange(packet.data, static_cast<std::size_t>(packet.size));
            if (bad)
                throw WorkError(text(
                    "%s: corrupt audio data near %s: %s", input_.path,
                    positionText(input_, framesBefore_ +
                                             static_cast<std::int64_t>(bad->offset / blockBytes())),
                    bad->finite ? text("a sample lies 24 dB or more above full scale, which no "
                                       "recording reaches")
                                : text("a sample is not a finite number")));
        }
        if (blockAlign_ > 0)
            framesBefore_ += packet.size / blockAlign_;
    }

private:
    // The bytes of one sample frame of plain PCM (samples of whole bytes, no packet headers);
    // 0 for anything else.
    static int pcmBlockAlign(const AVCodecParameters& parameters)
    {
        const int bits = av_get_exact_bits_per_sample(parameters.codec_id);
        return bits >= 8 ? bits / 8 * parameters.ch_layout.nb_channels : 0;
    }

    static std::size_t floatSampleBytes(AVCodecID codec)
    {
        switch (codec) {
        case AV_CODEC_ID_PCM_F32LE:
        case AV_CODEC_ID_PCM_F32BE:
            return 4;
        case AV_CODEC_ID_PCM_F64LE:
        case AV_CODEC_ID_PCM_F64BE:
            return 8;
        default:
            return 0;
        }
    }

    static bool isBigEndian(AVCodecID codec)
    {
        return codec == AV_CODEC_ID_PCM_F32BE || codec == AV_CODEC_ID_PCM_F64BE;
    }

    [[nodiscard]] std::size_t blockBytes() const { return static_cast<std::size_t>(blockAlign_); }

    struct BadSample {
        std::size_t offset;
        bool finite;
    };

    // The first sample that is no number, or a number of 16 (24 dB above full scale) or more.
    // Float masters may peak a few dB above full scale, a loud mix bus 12 dB; a sample 24 dB over
    // is beyond any converter's headroom and comes from damage (integers or the wrong byte order
    // read as float), and it would set the level of a normalised track, leaving the rest silent.
    [[nodiscard]] std::optional<BadSample> firstOutOfRange(const std::uint8_t* data,
                                                           std::size_t size) const
    {
        // The exponent's top seven bits sit in the byte that holds the sign, the rest in the next.
        const std::size_t high = bigEndian_ ? 0 : floatBytes_ - 1;
        const std::size_t next = bigEndian_ ? 1 : floatBytes_ - 2;
        const bool single = floatBytes_ == 4;
        const unsigned lowBits = single ? 1 : 4;
        const unsigned bias = single ? 127 : 1023;
        const unsigned infinite = single ? 0xff : 0x7ff;
        constexpr unsigned sixteen = 4; // 16 = 2^4
        for (std::size_t at = 0; at + floatBytes_ <= size; at += floatBytes_) {
            const unsigned exponent = (data[at + high] & 0x7fU) << lowBits |
                                      static_cast<unsigned>(data[at + next]) >> (8 - lowBits);
            if (exponent >= bias + sixteen)
                return BadSample{at, exponent != infinite};
        }
        return std::nullopt;
    }

    const Input& input_;
    int blockAlign_;
    std::size_t floatBytes_;
    bool bigEndian_;
    std::int64_t framesBefore_ = 0;
};

// "stream 2: ac3, 2 channels (stereo), 48000 Hz"
std::string streamText(const AVStream& stream)
{
    const AVCodecParameters& parameters = *stream.codecpar;
    const int channels = parameters.ch_layout.nb_channels;
    return "stream " + std::to_string(stream.index + 1) + ": " +
           avcodec_get_name(parameters.codec_id) + ", " + std::to_string(channels) +
           (channels == 1 ? " channel (" : " channels (") + layoutName(parameters.ch_layout) +
           "), " + std::to_string(parameters.sample_rate) + " Hz";
}

// What a stream's tags say of it, or nothing.
std::optional<std::string> tag(const AVStream& stream, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(stream.metadata, key, nullptr, 0);
    if (!entry || *entry->value == '\0')
        return std::nullopt;
    return entry->value;
}

// "stream 2 (language: deu, title: Main programme)"
Text streamLabel(const AVStream& stream)
{
    const auto language = tag(stream, "language");
    const auto title = tag(stream, "title");
    return text("stream %d (language: %s, title: %s)", stream.index + 1,
                language ? Text{*language, *language} : text("not given"),
                title ? Text{*title, *title} : text("none"));
}

// Of several audio streams the one with the most channels, then the highest rate, then the one
// flagged as default, then the first: a film's main track, not its commentary. Only streams this
// FFmpeg can decode count.
AVStream* chooseAudioStream(Input& input)
{
    AVStream* chosen = nullptr;
    int audioStreams = 0;
    for (unsigned i = 0; i < input.format->nb_streams; ++i) {
        AVStream* stream = input.format->streams[i];
        const AVCodecParameters& parameters = *stream->codecpar;
        if (parameters.codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        ++audioStreams;
        const bool decodable = avcodec_find_decoder(parameters.codec_id) != nullptr;
        input.audioStreams.push_back(streamText(*stream) + (decodable ? "" : " (no decoder)"));
        if (!decodable)
            continue;
        const auto rank = [](const AVStream& s) {
            return std::tuple(s.codecpar->ch_layout.nb_channels, s.codecpar->sample_rate,
                              (s.disposition & AV_DISPOSITION_DEFAULT) != 0);
        };
        if (!chosen || rank(*stream) > rank(*chosen))
            chosen = stream;
    }
    if (audioStreams < 2)
        input.audioStreams.clear();
    return chosen;
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
    if (!raw)
        readOversizedWavToTheEnd(input, *unopened);
    AVFormatContext* format = unopened.release();
    // "file:" keeps a name such as "a:b.wav" from being read as a protocol. A failed open frees
    // the context.
    const int opened = avformat_open_input(&format, ("file:" + input.path).c_str(), forced, &dict);
    av_dict_free(&dict);
    stopWhenInterrupted();
    check(opened, text("%s: cannot read as audio", input.path));
    input.format.reset(format);

    const int found = avformat_find_stream_info(format, nullptr);
    stopWhenInterrupted();
    check(found, text("%s: cannot read as audio", input.path));
    readWavInLargerPackets(*format);
    input.stream = chooseAudioStream(input);
    if (!input.stream)
        throw WorkError(text("%s: holds no audio this program can decode", input.path));
    checkIndexBeforeAudio(input);
    const AVCodec* codec = avcodec_find_decoder(input.stream->codecpar->codec_id);
    input.bytes = format->pb ? avio_size(format->pb) : 0;

    input.decoder.reset(avcodec_alloc_context3(codec));
    if (!input.decoder)
        throw WorkError(text("out of memory"));
    check(avcodec_parameters_to_context(input.decoder.get(), input.stream->codecpar),
          text("%s: cannot set up the decoder", input.path));
    input.decoder->pkt_timebase = input.stream->time_base;
    check(avcodec_open2(input.decoder.get(), codec, nullptr),
          text("%s: cannot open the decoder", input.path));
    if (input.decoder->sample_rate <= 0 || input.decoder->ch_layout.nb_channels <= 0)
        throw WorkError(text("%s: holds no audio with a known rate and channel count", input.path));
    checkRate(input.path, input.decoder->sample_rate, "");
    if (input.decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        input.unmasked = true;
        const int channels = input.decoder->ch_layout.nb_channels;
        av_channel_layout_uninit(&input.decoder->ch_layout);
        av_channel_layout_default(&input.decoder->ch_layout, channels);
    }
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
        log.line("input: audio stream " + std::to_string(input.stream->index + 1) +
                 " chosen: the most channels, then the highest rate, then the one flagged as "
                 "default, then the first");
        warn(log, text("the input holds %d audio streams; %s is taken: the most channels, then "
                       "the highest rate, then the one flagged as default, then the first",
                       static_cast<int>(input.audioStreams.size()), streamLabel(*input.stream)));
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
        log.line("input: read from a pipe, whose length is not known beforehand: whether the "
                 "recording is whole cannot be checked");
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
        throw WorkError(text("%s: is cut short: its last frame is incomplete", input.path));
}

namespace
{

// ID3 version 2 and 1 and APE tags, which the end or start of an MPEG audio file may carry.
bool isTag(const AVPacket& packet)
{
    const std::string_view bytes(reinterpret_cast<const char*>(packet.data),
                                 static_cast<std::size_t>(packet.size));
    return bytes.starts_with("ID3") || bytes.starts_with("TAG") || bytes.starts_with("APETAGEX");
}

// The channels and rate of the frames decoded so far, to see where they change.
class ShapeWatch
{
public:
    ShapeWatch(const Input& input, RunLog* log) : input_(input), log_(log) {}
    ShapeWatch(const ShapeWatch&) = delete;
    ShapeWatch& operator=(const ShapeWatch&) = delete;
    ~ShapeWatch() { av_channel_layout_uninit(&layout_); }

    // Notes the frame's place (after this one) and whether it differs from the one before.
    void see(const AVFrame& frame)
    {
        if (frame.sample_rate != rate_ || av_channel_layout_compare(&frame.ch_layout, &layout_)) {
            const std::string from = " from " + seconds(position_) + " on";
            checkRate(input_.path, frame.sample_rate, rate_ != 0 ? seconds(position_) : "");
            if (const auto why = whyUnmixable(frame.ch_layout))
                throw WorkError(text("%s: %s", input_.path, *why));
            if (rate_ != 0 && log_)
                log_->line("input:" + from + " " + std::to_string(frame.ch_layout.nb_channels) +
                           (frame.ch_layout.nb_channels == 1 ? " channel (" : " channels (") +
                           layoutName(frame.ch_layout) + "), " + std::to_string(frame.sample_rate) +
                           " Hz; mixed into the output's channels");
            rate_ = frame.sample_rate;
            check(av_channel_layout_copy(&layout_, &frame.ch_layout), text("channel layout"));
        }
        position_ += static_cast<double>(frame.nb_samples) / frame.sample_rate;
    }

private:
    const Input& input_;
    RunLog* log_;
    AVChannelLayout layout_{};
    int rate_ = 0;
    double position_ = 0.0;
};

// Data the decoder refuses (a run of zeros, lost sync, a damaged frame) is skipped, as a player
// skips it, and each run of it said once with where it starts; only damage that nothing
// decodable follows ends the read.
class DecodeDamage
{
public:
    DecodeDamage(const Input& input, RunLog* log) : input_(input), log_(log) {}

    // True when code is an error of the data, which is skipped; a lack of memory or an
    // interrupt is thrown.
    bool skipped(int code, double position)
    {
        if (code >= 0 || code == AVERROR(EAGAIN) || code == AVERROR_EOF)
            return false;
        if (code == AVERROR(ENOMEM) || code == AVERROR_EXIT)
            check(code, text("%s: cannot decode", input_.path));
        if (!run_)
            run_ = Run{position, 0};
        ++run_->pieces;
        return true;
    }

    // A frame decoded: the run of damage before it ends here.
    void decoded()
    {
        if (!run_)
            return;
        if (log_)
            warn(*log_, text("damaged audio data at %s skipped, as a player skips it (%d pieces "
                             "the decoder could not read)",
                             clockTime(run_->at), run_->pieces));
        run_.reset();
    }

    void checkSomethingFollows() const
    {
        if (run_)
            throw WorkError(text("%s: corrupt audio data near %s, and nothing decodable follows",
                                 input_.path, seconds(run_->at)));
    }

private:
    struct Run {
        double at;
        int pieces;
    };
    const Input& input_;
    RunLog* log_;
    std::optional<Run> run_;
};

} // namespace

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
            if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
                const int channels = frame->ch_layout.nb_channels;
                av_channel_layout_uninit(&frame->ch_layout);
                av_channel_layout_default(&frame->ch_layout, channels);
            }
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
            damage.skipped(avcodec_send_packet(decoder, &packet), decoded);
            receiveFrames();
        });
        check(avcodec_send_packet(decoder, nullptr),
              text("%s: cannot finish decoding", input.path));
        receiveFrames();
        timeline.finish(hand);
    } catch (const Enough&) {
        return samples;
    }
    damage.checkSomethingFollows();
    if (changes && input.partialTail > 0)
        changes->line("input: the last " + std::to_string(input.partialTail) +
                      " bytes are less than a whole sample frame; dropped");
    return samples;
}

} // namespace besweet
