// SPDX-License-Identifier: GPL-3.0-or-later
// Opening, checking and reading the input.
#include "Input.h"

#include "Describe.h"
#include "FrameLength.h"
#include "Interrupt.h"
#include "Plan.h"
#include "Timeline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace besweet
{

namespace
{

void checkInputFile(const std::string& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) != 0)
        throw WorkError(path + ": cannot open: " + std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        throw WorkError(path + ": is a folder, not an audio file");
    if (S_ISREG(info.st_mode) && info.st_size == 0)
        throw WorkError(path + ": the file is empty");
}

AVDictionary* rawPcmOptions(const Options& options)
{
    AVDictionary* dict = nullptr;
    av_dict_set_int(&dict, "sample_rate", options.rawRate, 0);
    av_dict_set(&dict, "ch_layout", "stereo", 0);
    return dict;
}

// Where the data chunk of a RIFF WAVE file starts and how long its header says it is; nothing
// when the header leaves the length open (0 or 0xFFFFFFFF, as streaming writers leave it).
// Read through the demuxer's own I/O context, which is left where it was.
struct WavData {
    std::uint64_t offset;
    std::uint64_t bytes;
};

// The first twelve bytes of a RIFF WAVE file: "RIFF", its length, "WAVE".
bool isWavHeader(const unsigned char (&riff)[12])
{
    return std::memcmp(riff, "RIFF", 4) == 0 && std::memcmp(riff + 8, "WAVE", 4) == 0;
}

std::optional<WavData> findWavData(AVIOContext* io)
{
    unsigned char riff[12];
    if (avio_seek(io, 0, SEEK_SET) < 0 || avio_read(io, riff, sizeof riff) != sizeof riff ||
        !isWavHeader(riff))
        return std::nullopt;
    std::uint64_t offset = sizeof riff;
    for (int chunks = 0; chunks < 64; ++chunks) {
        unsigned char header[8];
        if (avio_read(io, header, sizeof header) != sizeof header)
            return std::nullopt;
        const std::uint32_t size = header[4] | header[5] << 8 | header[6] << 16 |
                                   static_cast<std::uint32_t>(header[7]) << 24;
        offset += sizeof header;
        if (std::memcmp(header, "data", 4) == 0) {
            if (size == 0 || size == 0xFFFFFFFFU)
                return std::nullopt;
            return WavData{offset, size};
        }
        offset += size + (size & 1);
        if (avio_seek(io, static_cast<std::int64_t>(offset), SEEK_SET) < 0)
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<WavData> promisedWavData(const Input& input)
{
    AVIOContext* io = input.format->pb;
    const std::int64_t resume = avio_tell(io);
    const auto found = findWavData(io);
    check(static_cast<int>(std::min<std::int64_t>(avio_seek(io, resume, SEEK_SET), 0)),
          input.path + ": cannot read");
    return found;
}

// A WAV file cut short holds less than its header promises; FFmpeg would quietly read what is
// there, but a track missing its end is no success. (A pipe's length is not known beforehand.)
void checkWavComplete(const Input& input)
{
    if (std::strcmp(input.format->iformat->name, "wav") != 0 || input.bytes <= 0 ||
        !(input.format->pb->seekable & AVIO_SEEKABLE_NORMAL))
        return;
    const auto promised = promisedWavData(input);
    if (!promised)
        return;
    const auto held =
        static_cast<std::uint64_t>(input.bytes) -
        std::min<std::uint64_t>(promised->offset, static_cast<std::uint64_t>(input.bytes));
    if (held >= promised->bytes)
        return;
    const double bytesPerSecond =
        static_cast<double>(input.stream->codecpar->block_align) * input.decoder->sample_rate;
    throw WorkError(input.path + ": is cut short: its header promises " +
                    seconds(static_cast<double>(promised->bytes) / bytesPerSecond) + ", it holds " +
                    seconds(static_cast<double>(held) / bytesPerSecond));
}

bool isRegularFile(const std::string& path)
{
    struct stat info {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Raw PCM ticked for a WAV file would play its header as a click: a regular file that starts as
// a WAV file is read as one. (A pipe cannot be looked into before it is read.)
bool startsAsWav(const std::string& path)
{
    if (!isRegularFile(path))
        return false;
    std::ifstream in(path, std::ios::binary);
    unsigned char riff[12];
    return in.read(reinterpret_cast<char*>(riff), sizeof riff) && isWavHeader(riff);
}

void checkRate(const std::string& path, int rate, const std::string& where)
{
    if (rate < LowestRate || rate > HighestRate)
        throw WorkError(path + ": has a sample rate of " + std::to_string(rate) + " Hz" + where +
                        ", which no recording has (" + std::to_string(LowestRate) + " to " +
                        std::to_string(HighestRate) + " Hz); the file is damaged");
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
            const auto bad = firstNonFinite(packet.data, static_cast<std::size_t>(packet.size));
            if (bad)
                throw WorkError(input_.path + ": corrupt audio data near " +
                                positionText(input_, framesBefore_ + static_cast<std::int64_t>(
                                                                         *bad / blockBytes())) +
                                ": a sample is not a finite number");
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

    // The byte offset of the first sample whose exponent bits are all set (infinity or NaN).
    [[nodiscard]] std::optional<std::size_t> firstNonFinite(const std::uint8_t* data,
                                                            std::size_t size) const
    {
        // The exponent's top seven bits sit in the byte that holds the sign, the rest in the next.
        const std::size_t high = bigEndian_ ? 0 : floatBytes_ - 1;
        const std::size_t next = bigEndian_ ? 1 : floatBytes_ - 2;
        const std::uint8_t nextMask = floatBytes_ == 4 ? 0x80 : 0xf0;
        for (std::size_t at = 0; at + floatBytes_ <= size; at += floatBytes_)
            if ((data[at + high] & 0x7f) == 0x7f && (data[at + next] & nextMask) == nextMask)
                return at;
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

// Of several audio streams the one with the most channels, then the highest rate, then the
// first: a film's main track, not its commentary. Only streams this FFmpeg can decode count.
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
            return std::pair(s.codecpar->ch_layout.nb_channels, s.codecpar->sample_rate);
        };
        if (!chosen || rank(*stream) > rank(*chosen))
            chosen = stream;
    }
    if (audioStreams < 2)
        input.audioStreams.clear();
    return chosen;
}

} // namespace

Input openInput(const Options& options)
{
    Input input;
    input.path = options.input;
    checkInputFile(input.path);

    input.wavDespiteRaw = options.rawInput && startsAsWav(input.path);
    const bool raw = options.rawInput && !input.wavDespiteRaw;
    const AVInputFormat* forced = raw ? av_find_input_format("s16le") : nullptr;
    AVDictionary* dict = raw ? rawPcmOptions(options) : nullptr;
    AVFormatContext* format = avformat_alloc_context();
    if (!format)
        throw WorkError("out of memory (input)");
    // A signal ends even a read that waits (a pipe as input).
    format->interrupt_callback.callback = [](void*) { return receivedSignal() != 0 ? 1 : 0; };
    // "file:" keeps a name such as "a:b.wav" from being read as a protocol.
    const int opened = avformat_open_input(&format, ("file:" + input.path).c_str(), forced, &dict);
    av_dict_free(&dict);
    stopWhenInterrupted();
    check(opened, input.path + ": cannot read as audio");
    input.format.reset(format);

    const int found = avformat_find_stream_info(format, nullptr);
    stopWhenInterrupted();
    check(found, input.path + ": cannot read as audio");
    input.stream = chooseAudioStream(input);
    if (!input.stream)
        throw WorkError(input.path + ": holds no audio this program can decode");
    const AVCodec* codec = avcodec_find_decoder(input.stream->codecpar->codec_id);
    input.bytes = format->pb ? avio_size(format->pb) : 0;

    input.decoder.reset(avcodec_alloc_context3(codec));
    if (!input.decoder)
        throw WorkError("out of memory (decoder)");
    check(avcodec_parameters_to_context(input.decoder.get(), input.stream->codecpar),
          input.path + ": cannot set up the decoder");
    input.decoder->pkt_timebase = input.stream->time_base;
    check(avcodec_open2(input.decoder.get(), codec, nullptr),
          input.path + ": cannot open the decoder");
    if (input.decoder->sample_rate <= 0 || input.decoder->ch_layout.nb_channels <= 0)
        throw WorkError(input.path + ": holds no audio with a known rate and channel count");
    checkRate(input.path, input.decoder->sample_rate, "");
    if (input.decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        input.unmasked = true;
        const int channels = input.decoder->ch_layout.nb_channels;
        av_channel_layout_uninit(&input.decoder->ch_layout);
        av_channel_layout_default(&input.decoder->ch_layout, channels);
    }
    checkWavComplete(input);
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
    if (!input.audioStreams.empty())
        log.line("input: audio stream " + std::to_string(input.stream->index + 1) +
                 " chosen: the most channels, then the highest rate, then the first");
    log.line("input rate: " + std::to_string(decoder.sample_rate) + " Hz");
    log.line("input duration: " + seconds(duration));
    if (input.wavDespiteRaw) {
        log.line("input: a WAV file, read as such; raw PCM (-fs) ignored");
        say("besweet: warning: %s is a WAV file: read as such, raw PCM (-fs) ignored\n",
            input.path.c_str());
    }
}

void checkReadableTwice(const std::string& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        throw WorkError(path + ": is a pipe or device, which can be read only once, and -norm "
                               "reads the input twice: save it to a file first, or leave out "
                               "-norm");
}

std::string positionText(const Input& input, std::int64_t samples)
{
    return seconds(static_cast<double>(samples) / input.decoder->sample_rate);
}

void checkNotEmpty(const Input& input, std::int64_t samples)
{
    if (samples == 0)
        throw WorkError(input.path + ": holds no audio samples");
}

void readPackets(Input& input, Progress& progress, const OnPacket& onPacket)
{
    PacketPtr packet = makePacket();
    // A frame shorter than it says waits here: the last one was cut off with the file; one
    // followed by more is damage for the decoder to judge.
    PacketPtr shortFrame = makePacket();
    const CutFrameWatch cutFrames(input.stream->codecpar->codec_id);
    PcmWatch pcm(input);
    input.partialTail = 0;
    for (;;) {
        stopWhenInterrupted();
        const int read = av_read_frame(input.format.get(), packet.get());
        if (read == AVERROR_EOF)
            break;
        stopWhenInterrupted();
        checkEach(read, [&] { return input.path + ": cannot read"; });
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
        throw WorkError(input.path + ": is cut short: its last frame is incomplete");
}

namespace
{

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
            checkRate(input_.path, frame.sample_rate, rate_ != 0 ? from : "");
            if (const auto why = whyUnmixable(frame.ch_layout))
                throw WorkError(input_.path + ": " + *why);
            if (rate_ != 0 && log_)
                log_->line("input:" + from + " " + std::to_string(frame.ch_layout.nb_channels) +
                           (frame.ch_layout.nb_channels == 1 ? " channel (" : " channels (") +
                           layoutName(frame.ch_layout) + "), " + std::to_string(frame.sample_rate) +
                           " Hz; mixed into the output's channels");
            rate_ = frame.sample_rate;
            check(av_channel_layout_copy(&layout_, &frame.ch_layout), "channel layout");
        }
        position_ += static_cast<double>(frame.nb_samples) / frame.sample_rate;
    }

    // Seconds decoded so far.
    [[nodiscard]] double position() const { return position_; }

private:
    const Input& input_;
    RunLog* log_;
    AVChannelLayout layout_{};
    int rate_ = 0;
    double position_ = 0.0;
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
    const auto corrupt = [&] {
        return input.path + ": corrupt audio data near " + seconds(shape.position());
    };
    Timeline timeline(input, changes);
    constexpr std::int64_t silencePiece = 8192; // sample frames of a hole handed on at a time
    // Hands a frame on, stopping once the limit is reached.
    const auto hand = [&](const AVFrame& piece) {
        shape.see(piece);
        samples += piece.nb_samples;
        onFrame(piece);
        if (limit > 0 && samples >= limit)
            throw Enough{};
    };
    const auto receiveFrames = [&] {
        for (;;) {
            const int got = avcodec_receive_frame(decoder, frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            checkEach(got, corrupt);
            if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
                const int channels = frame->ch_layout.nb_channels;
                av_channel_layout_uninit(&frame->ch_layout);
                av_channel_layout_default(&frame->ch_layout, channels);
            }
            const Timeline::Step step = timeline.place(*frame);
            for (std::int64_t hole = step.silence; hole > 0;) {
                const auto piece = static_cast<int>(std::min<std::int64_t>(hole, silencePiece));
                hand(*silenceLike(*frame, piece));
                hole -= piece;
            }
            if (step.drop > 0 && step.drop < frame->nb_samples)
                hand(*withoutStart(*frame, static_cast<int>(step.drop)));
            else if (step.drop == 0)
                hand(*frame);
            av_frame_unref(frame.get());
        }
    };
    try {
        readPackets(input, progress, [&](const AVPacket& packet) {
            checkEach(avcodec_send_packet(decoder, &packet), corrupt);
            receiveFrames();
        });
    } catch (const Enough&) {
        return samples;
    }
    check(avcodec_send_packet(decoder, nullptr), input.path + ": cannot finish decoding");
    receiveFrames();
    timeline.finish();
    if (changes && input.partialTail > 0)
        changes->line("input: the last " + std::to_string(input.partialTail) +
                      " bytes are less than a whole sample frame; dropped");
    return samples;
}

} // namespace besweet
