// Opening, checking and reading the input.
#include "Input.h"

#include "Describe.h"
#include "Interrupt.h"

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
struct WavData {
    std::uint64_t offset;
    std::uint64_t bytes;
};

std::optional<WavData> promisedWavData(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char riff[12];
    if (!in.read(riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::uint64_t offset = sizeof riff;
    for (int chunks = 0; chunks < 64; ++chunks) {
        unsigned char header[8];
        if (!in.read(reinterpret_cast<char*>(header), sizeof header))
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
        in.seekg(static_cast<std::streamoff>(offset));
    }
    return std::nullopt;
}

// A WAV file cut short holds less than its header promises; FFmpeg would quietly read what is
// there, but a track missing its end is no success.
void checkWavComplete(const Input& input)
{
    if (std::strcmp(input.format->iformat->name, "wav") != 0)
        return;
    const auto promised = promisedWavData(input.path);
    if (!promised || input.bytes <= 0)
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

// How far into the input file a packet reaches: what progress counts (the reading position
// runs ahead by what the demuxer has buffered).
std::int64_t positionAfter(const Input& input, const AVPacket& packet)
{
    return packet.pos >= 0 ? packet.pos + packet.size : avio_tell(input.format->pb);
}

// Layer II and AC3 run at a constant bitrate: every frame is as long as the others, give or take
// a padding byte or two. A last frame shorter than that was cut off with the file, which
// FFmpeg's decoders would quietly decode as if whole.
class CutFrameWatch
{
public:
    explicit CutFrameWatch(AVCodecID codec)
        : watching_(codec == AV_CODEC_ID_MP2 || codec == AV_CODEC_ID_AC3)
    {
    }

    void see(int packetSize)
    {
        if (!watching_)
            return;
        lastTooShort_ = shortest_ > 0 && packetSize + 4 < shortest_;
        if (!lastTooShort_)
            shortest_ = shortest_ == 0 ? packetSize : std::min(shortest_, packetSize);
    }

    void checkEnd(const Input& input) const
    {
        if (lastTooShort_)
            throw WorkError(input.path + ": is cut short: its last frame is incomplete");
    }

private:
    bool watching_;
    int shortest_ = 0;
    bool lastTooShort_ = false;
};

} // namespace

Input openInput(const Options& options)
{
    Input input;
    input.path = options.input;
    checkInputFile(input.path);

    const AVInputFormat* forced = options.rawInput ? av_find_input_format("s16le") : nullptr;
    AVDictionary* dict = options.rawInput ? rawPcmOptions(options) : nullptr;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw WorkError("out of memory (input)");
    // A signal ends even a read that waits (a pipe as input).
    raw->interrupt_callback.callback = [](void*) { return receivedSignal() != 0 ? 1 : 0; };
    // "file:" keeps a name such as "a:b.wav" from being read as a protocol.
    const int opened = avformat_open_input(&raw, ("file:" + input.path).c_str(), forced, &dict);
    av_dict_free(&dict);
    stopWhenInterrupted();
    check(opened, input.path + ": cannot read as audio");
    input.format.reset(raw);

    const int found = avformat_find_stream_info(raw, nullptr);
    stopWhenInterrupted();
    check(found, input.path + ": cannot read as audio");
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0 || !codec)
        throw WorkError(input.path + ": holds no audio this program can decode");
    input.stream = raw->streams[index];
    input.bytes = raw->pb ? avio_size(raw->pb) : 0;

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
    if (input.decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
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
    log.line("input rate: " + std::to_string(decoder.sample_rate) + " Hz");
    log.line("input duration: " + seconds(duration));
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
    CutFrameWatch cutFrames(input.stream->codecpar->codec_id);
    for (;;) {
        stopWhenInterrupted();
        const int read = av_read_frame(input.format.get(), packet.get());
        if (read == AVERROR_EOF)
            break;
        stopWhenInterrupted();
        checkEach(read, [&] { return input.path + ": cannot read"; });
        if (packet->stream_index == input.stream->index) {
            cutFrames.see(packet->size);
            onPacket(*packet);
        }
        progress.update(positionAfter(input, *packet), input.bytes);
        av_packet_unref(packet.get());
    }
    cutFrames.checkEnd(input);
}

std::int64_t decodeAll(Input& input, Progress& progress, const OnFrame& onFrame, std::int64_t limit)
{
    struct Enough {
    };
    AVCodecContext* decoder = input.decoder.get();
    FramePtr frame = makeFrame();
    std::int64_t samples = 0;
    const auto corrupt = [&] {
        return input.path + ": corrupt audio data near " + positionText(input, samples);
    };
    const auto receiveFrames = [&] {
        for (;;) {
            const int got = avcodec_receive_frame(decoder, frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            checkEach(got, corrupt);
            if (frame->ch_layout.nb_channels != input.decoder->ch_layout.nb_channels ||
                frame->sample_rate != input.decoder->sample_rate)
                throw WorkError(input.path + ": changes its channels or rate near " +
                                positionText(input, samples) + "; this is not supported");
            samples += frame->nb_samples;
            onFrame(*frame);
            av_frame_unref(frame.get());
            if (limit > 0 && samples >= limit)
                throw Enough{};
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
    return samples;
}

} // namespace besweet
