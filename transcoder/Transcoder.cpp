// The pipeline, one function per step in the manner of FFmpeg's transcode example: open input,
// plan the channels and rate, measure the peak, open encoder and output, init resampler and
// FIFO, then decode -> resample (with mix and gain) -> FIFO -> encode -> write, and the flush
// in order: decoder, resampler, FIFO remainder, encoder, trailer.
#include "Transcoder.h"

#include "Av.h"
#include "ChunkEncoder.h"
#include "FrameQueue.h"
#include "Interrupt.h"
#include "OutputFile.h"
#include "PeakMeter.h"
#include "Progress.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <thread>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace besweet
{

namespace
{

// Sample frames per encoder call for encoders that take any size (PCM).
constexpr int AnySizeFrame = 4096;

struct Input {
    std::string path;
    InputFormatPtr format;
    AVStream* stream = nullptr;
    CodecContextPtr decoder;
    std::int64_t bytes = 0; // file size, for progress
};

// What goes in and what comes out, decided once for both passes.
struct Plan {
    AVChannelLayout inLayout{};
    int inRate = 0;
    AVChannelLayout outLayout{};
    int outRate = 0;
    std::vector<double> matrix; // outLayout.nb_channels rows of inLayout.nb_channels

    Plan() = default;
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;
    ~Plan()
    {
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
    }
};

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", value);
    return text;
}

std::string layoutName(const AVChannelLayout& layout)
{
    char text[64] = {};
    av_channel_layout_describe(&layout, text, sizeof text);
    return text;
}

std::string decibels(double linear)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", 20.0 * std::log10(linear));
    return text;
}

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

[[nodiscard]] Input openInput(const Options& options)
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

std::vector<double> mixMatrix(const AVChannelLayout& in, const AVChannelLayout& out)
{
    const int inCount = in.nb_channels;
    const int outCount = out.nb_channels;
    // One or two channels: plain copies, a mono source fills both sides, a mono mixdown is
    // the mean, so nothing can clip.
    if (inCount == 1 && outCount == 1)
        return {1.0};
    if (inCount == 1 && outCount == 2)
        return {1.0, 1.0};
    if (inCount == 2 && outCount == 2)
        return {1.0, 0.0, 0.0, 1.0};
    if (inCount == 2 && outCount == 1)
        return {0.5, 0.5};
    // More channels: FFmpeg's downmix, scaled so that no output channel can clip.
    // swr_build_matrix2 of FFmpeg 5.1 touches rows past the output's channel count, so it
    // gets room for the most channels there can be; the rows wanted are copied out.
    constexpr int most = 64;
    if (inCount > most || outCount > most)
        throw WorkError("cannot mix " + std::to_string(inCount) + " channels");
    std::vector<double> full(static_cast<std::size_t>(most * most));
    check(swr_build_matrix2(&in, &out, M_SQRT1_2, M_SQRT1_2, 0.0, 1.0, 1.0, full.data(), most,
                            AV_MATRIX_ENCODING_NONE, nullptr),
          "cannot mix " + layoutName(in) + " down to " + layoutName(out));
    std::vector<double> matrix;
    for (int o = 0; o < outCount; ++o)
        for (int i = 0; i < inCount; ++i)
            matrix.push_back(full[static_cast<std::size_t>(o * most + i)]);
    return matrix;
}

int outputChannels(const Options& options, int inChannels)
{
    if (options.codec == Codec::LayerII)
        return options.mode == 'm' ? 1 : 2;
    return inChannels == 1 ? 1 : 2;
}

// What each output format is written with: the encoder, the name the log and the errors
// use, and the muxer.
struct OutputFormat {
    Codec codec;
    const char* encoder; // libavcodec's name; nullptr: 16-bit PCM by codec id
    const char* description;
    const char* muxer;
};

constexpr std::array outputFormats{
    OutputFormat{Codec::LayerII, "libtwolame", "MPEG-1 Layer II (libtwolame)", "mp2"},
    OutputFormat{Codec::Ac3, "ac3", "AC3 (ac3)", "ac3"},
    OutputFormat{Codec::Wav, nullptr, "WAV 16-bit PCM (pcm_s16le)", "wav"},
};

const OutputFormat& outputFormat(Codec codec)
{
    return *std::ranges::find(outputFormats, codec, &OutputFormat::codec);
}

const AVCodec* findEncoder(Codec codec)
{
    const OutputFormat& format = outputFormat(codec);
    return format.encoder ? avcodec_find_encoder_by_name(format.encoder)
                          : avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
}

std::string encoderName(Codec codec)
{
    return outputFormat(codec).description;
}

bool encoderTakesRate(const Options& options, const AVCodec& encoder, int rate)
{
    // Layer II here is MPEG-1: libtwolame would also take the half rates, as MPEG-2.
    if (options.codec == Codec::LayerII && rate != 32000 && rate != 44100 && rate != 48000)
        return false;
    if (!encoder.supported_samplerates)
        return true;
    for (const int* r = encoder.supported_samplerates; *r; ++r)
        if (*r == rate)
            return true;
    return false;
}

void planConversion(Plan& plan, const Options& options, const Input& input, RunLog& log)
{
    const AVCodec* encoder = findEncoder(options.codec);
    if (!encoder)
        throw WorkError("this FFmpeg has no encoder for " + encoderName(options.codec));
    check(av_channel_layout_copy(&plan.inLayout, &input.decoder->ch_layout), "channel layout");
    plan.inRate = input.decoder->sample_rate;
    av_channel_layout_default(&plan.outLayout, outputChannels(options, plan.inLayout.nb_channels));
    plan.outRate = options.resampleTo48k ? 48000 : plan.inRate;
    if (options.resampleTo48k) {
        log.line(plan.inRate == 48000
                     ? "resampling: none needed, the input is at 48000 Hz"
                     : "resampling: " + std::to_string(plan.inRate) + " Hz to 48000 Hz, as asked");
    } else if (!encoderTakesRate(options, *encoder, plan.inRate)) {
        plan.outRate = 48000;
        const std::string note = "resampling: the encoder cannot take " +
                                 std::to_string(plan.inRate) + " Hz, so to 48000 Hz";
        log.line(note);
        say("%s\n", note.c_str());
    } else {
        log.line("resampling: none");
    }
    plan.matrix = mixMatrix(plan.inLayout, plan.outLayout);
    if (plan.inLayout.nb_channels != plan.outLayout.nb_channels)
        log.line("mixing: " + layoutName(plan.inLayout) + " to " + layoutName(plan.outLayout));
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

void checkNotEmpty(const Input& input, std::int64_t samples)
{
    if (samples == 0)
        throw WorkError(input.path + ": holds no audio samples");
}

std::string positionText(const Input& input, std::int64_t samples)
{
    return seconds(static_cast<double>(samples) / input.decoder->sample_rate);
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

// Reads every packet, decodes it and hands each frame on; the decoder is flushed with an
// empty packet at the end. Returns the number of sample frames decoded.
template <typename OnFrame>
std::int64_t decodeAll(Input& input, Progress& progress, OnFrame&& onFrame)
{
    AVCodecContext* decoder = input.decoder.get();
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();
    std::int64_t samples = 0;
    CutFrameWatch cutFrames(input.stream->codecpar->codec_id);
    const auto receiveFrames = [&] {
        for (;;) {
            const int got = avcodec_receive_frame(decoder, frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            checkEach(got, [&] {
                return input.path + ": corrupt audio data near " + positionText(input, samples);
            });
            if (frame->ch_layout.nb_channels != input.decoder->ch_layout.nb_channels ||
                frame->sample_rate != input.decoder->sample_rate)
                throw WorkError(input.path + ": changes its channels or rate near " +
                                positionText(input, samples) + "; this is not supported");
            samples += frame->nb_samples;
            onFrame(*frame);
            av_frame_unref(frame.get());
        }
    };
    for (;;) {
        stopWhenInterrupted();
        const int read = av_read_frame(input.format.get(), packet.get());
        if (read == AVERROR_EOF)
            break;
        stopWhenInterrupted();
        checkEach(read, [&] { return input.path + ": cannot read"; });
        if (packet->stream_index == input.stream->index) {
            cutFrames.see(packet->size);
            const int sent = avcodec_send_packet(decoder, packet.get());
            checkEach(sent, [&] {
                return input.path + ": corrupt audio data near " + positionText(input, samples);
            });
            receiveFrames();
        }
        progress.update(positionAfter(input, *packet), input.bytes);
        av_packet_unref(packet.get());
    }
    cutFrames.checkEnd(input);
    check(avcodec_send_packet(decoder, nullptr), input.path + ": cannot finish decoding");
    receiveFrames();
    return samples;
}

// The same resampler for both passes: the plan's mix weighted by gain, from the input's rate
// to the output's, soxr at its default (high) quality when this FFmpeg has it, else swr's own,
// long filter. log (when given) says which.
[[nodiscard]] SwrPtr initResampler(const Plan& plan, AVSampleFormat inFormat,
                                   AVSampleFormat outFormat, double gain, RunLog* log)
{
    SwrContext* raw = nullptr;
    // FFmpeg 5.1 takes the layouts through non-const pointers but only reads them.
    check(swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&plan.outLayout), outFormat,
                              plan.outRate, const_cast<AVChannelLayout*>(&plan.inLayout), inFormat,
                              plan.inRate, 0, nullptr),
          "cannot set up the resampler");
    SwrPtr swr(raw);
    if (plan.inRate != plan.outRate) {
        const bool soxr = av_opt_set(raw, "resampler", "soxr", 0) >= 0;
        if (!soxr) {
            av_opt_set_int(raw, "filter_size", 64, 0);
            av_opt_set_int(raw, "phase_shift", 14, 0);
        }
        if (log)
            log->line(soxr ? "resampler: soxr" : "resampler: swr (soxr not available)");
    }
    std::vector<double> matrix = plan.matrix;
    for (double& weight : matrix)
        weight *= gain;
    check(swr_set_matrix(raw, matrix.data(), plan.inLayout.nb_channels), "resampler matrix");
    check(swr_init(raw), "cannot start the resampler");
    return swr;
}

// A resampler with a buffer for what it gives.
class Resampler
{
public:
    Resampler(const Plan& plan, AVSampleFormat inFormat, AVSampleFormat outFormat, double gain,
              RunLog* log)
        : swr_(initResampler(plan, inFormat, outFormat, gain, log)), out_(makeFrame()),
          format_(outFormat), layout_(plan.outLayout), rate_(plan.outRate)
    {
    }

    // Hands each piece of output to sink as a frame; null input drains the resampler.
    template <typename Sink> void convert(const std::uint8_t* const* in, int inSamples, Sink&& sink)
    {
        for (;;) {
            const int room = swr_get_out_samples(swr_.get(), inSamples);
            if (room <= 0)
                return;
            reserve(room);
            out_->nb_samples = capacity_;
            const int got = checkEach(swr_convert(swr_.get(), out_->extended_data, capacity_,
                                                  const_cast<const std::uint8_t**>(in), inSamples),
                                      [] { return std::string("resampling failed"); });
            if (got > 0) {
                out_->nb_samples = got;
                sink(*out_);
            }
            // Input given is taken whole; a drain goes on until nothing comes.
            if (in || got == 0)
                return;
        }
    }

private:
    void reserve(int samples)
    {
        if (capacity_ >= samples)
            return;
        av_frame_unref(out_.get());
        out_->nb_samples = samples;
        out_->format = format_;
        out_->sample_rate = rate_;
        check(av_channel_layout_copy(&out_->ch_layout, &layout_), "channel layout");
        check(av_frame_get_buffer(out_.get(), 0), "out of memory (samples)");
        capacity_ = samples;
    }

    SwrPtr swr_;
    FramePtr out_;
    AVSampleFormat format_;
    const AVChannelLayout& layout_;
    int rate_;
    int capacity_ = 0;
};

// The first pass. Measures the signal as the second pass will give it to the encoder, at unit
// gain: mixed, and resampled where the rates differ, since resampling brings back the peaks
// that fall between the input's samples. Without resampling, PCM is read straight from its
// packets and anything else decoded.
[[nodiscard]] double measurePeak(Input input, const Plan& plan)
{
    Progress progress("Pass 1/2: measuring the peak");
    std::int64_t samples = 0;
    const AVCodecID codec = input.stream->codecpar->codec_id;
    double peak = 0.0;
    if (plan.inRate != plan.outRate) {
        const int channels = plan.outLayout.nb_channels;
        std::vector<double> identity(static_cast<std::size_t>(channels * channels));
        for (int c = 0; c < channels; ++c)
            identity[static_cast<std::size_t>(c * channels + c)] = 1.0;
        PeakMeter meter(std::move(identity), channels, channels);
        Resampler resampler(plan, input.decoder->sample_fmt, AV_SAMPLE_FMT_FLTP, 1.0, nullptr);
        const auto measure = [&](const AVFrame& frame) { meter.addFrame(frame); };
        samples = decodeAll(input, progress, [&](const AVFrame& frame) {
            resampler.convert(frame.extended_data, frame.nb_samples, measure);
        });
        resampler.convert(nullptr, 0, measure);
        peak = meter.peak();
    } else if (PeakMeter::readsPacketsOf(codec)) {
        PeakMeter meter(plan.matrix, plan.outLayout.nb_channels, plan.inLayout.nb_channels);
        PacketPtr packet = makePacket();
        for (;;) {
            stopWhenInterrupted();
            const int read = av_read_frame(input.format.get(), packet.get());
            if (read == AVERROR_EOF)
                break;
            checkEach(read, [&] { return input.path + ": cannot read"; });
            if (packet->stream_index == input.stream->index)
                samples +=
                    meter.addPacket(codec, packet->data, static_cast<std::size_t>(packet->size));
            progress.update(positionAfter(input, *packet), input.bytes);
            av_packet_unref(packet.get());
        }
        peak = meter.peak();
    } else {
        PeakMeter meter(plan.matrix, plan.outLayout.nb_channels, plan.inLayout.nb_channels);
        samples = decodeAll(input, progress, [&](const AVFrame& frame) { meter.addFrame(frame); });
        peak = meter.peak();
    }
    checkNotEmpty(input, samples);
    progress.finish();
    return peak;
}

AVSampleFormat pickSampleFormat(const AVCodec& encoder)
{
    // Float where the encoder takes it: gain and mix stay unrounded up to the encoder.
    const AVSampleFormat preferred[] = {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16,
                                        AV_SAMPLE_FMT_S16P};
    if (!encoder.sample_fmts)
        return AV_SAMPLE_FMT_FLTP;
    for (const AVSampleFormat wanted : preferred)
        for (const AVSampleFormat* f = encoder.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == wanted)
                return wanted;
    return encoder.sample_fmts[0];
}

bool encoderTakesLayout(const AVCodec& encoder, const AVChannelLayout& layout)
{
    if (!encoder.ch_layouts)
        return true;
    for (const AVChannelLayout* l = encoder.ch_layouts; l->nb_channels; ++l)
        if (av_channel_layout_compare(l, &layout) == 0)
            return true;
    return false;
}

const char* twolameMode(char mode)
{
    switch (mode) {
    case 's':
        return "stereo";
    case 'd':
        return "dual_channel";
    case 'm':
        return "mono";
    default:
        return "joint_stereo";
    }
}

[[nodiscard]] CodecContextPtr openEncoder(const Options& options, const Plan& plan)
{
    const AVCodec* encoder = findEncoder(options.codec);
    const AVSampleFormat format = pickSampleFormat(*encoder);
    if (!encoderTakesRate(options, *encoder, plan.outRate))
        throw WorkError(encoderName(options.codec) + " cannot take " +
                        std::to_string(plan.outRate) + " Hz");
    if (!encoderTakesLayout(*encoder, plan.outLayout))
        throw WorkError(encoderName(options.codec) + " cannot take " + layoutName(plan.outLayout));

    CodecContextPtr context(avcodec_alloc_context3(encoder));
    if (!context)
        throw WorkError("out of memory (encoder)");
    check(av_channel_layout_copy(&context->ch_layout, &plan.outLayout), "channel layout");
    context->sample_rate = plan.outRate;
    context->sample_fmt = format;
    context->time_base = AVRational{1, plan.outRate};
    context->bit_rate = static_cast<std::int64_t>(options.kbps) * 1000;
    if (options.codec == Codec::LayerII)
        check(av_opt_set(context->priv_data, "mode", twolameMode(options.mode), 0),
              "libtwolame: mode");
    check(avcodec_open2(context.get(), encoder, nullptr),
          options.output + ": cannot open " + encoderName(options.codec));
    return context;
}

std::string encoderSettings(const Options& options, const Plan& plan)
{
    std::string settings = encoderName(options.codec) + ", " + layoutName(plan.outLayout) + ", " +
                           std::to_string(plan.outRate) + " Hz";
    if (options.codec != Codec::Wav)
        settings += ", " + std::to_string(options.kbps) + " kbps";
    if (options.codec == Codec::LayerII)
        settings += std::string(", mode ") + twolameMode(options.mode);
    return settings;
}

const char* muxerName(Codec codec)
{
    return outputFormat(codec).muxer;
}

// The muxer writing into the temporary file; the members go in this order so the muxer is
// freed before its I/O context, and both before the file.
struct Output {
    explicit Output(const std::string& target) : file(target) {}
    OutputFile file;
    IoContextPtr io;
    OutputFormatPtr format;
    AVStream* stream = nullptr;
};

void openOutput(Output& output, const Options& options, const AVCodecContext& encoder)
{
    output.io = output.file.makeIoContext();
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, muxerName(options.codec), nullptr),
          options.output + ": cannot set up the output");
    output.format.reset(raw);
    raw->pb = output.io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    output.stream = avformat_new_stream(raw, nullptr);
    if (!output.stream)
        throw WorkError("out of memory (output stream)");
    check(avcodec_parameters_from_context(output.stream->codecpar, &encoder),
          options.output + ": cannot set up the output");
    output.stream->time_base = encoder.time_base;
    check(avformat_write_header(raw, nullptr), options.output + ": cannot write");
}

[[nodiscard]] FifoPtr initFifo(const AVCodecContext& encoder, int frameSize)
{
    FifoPtr fifo(av_audio_fifo_alloc(encoder.sample_fmt, encoder.ch_layout.nb_channels, frameSize));
    if (!fifo)
        throw WorkError("out of memory (FIFO)");
    return fifo;
}

// How the encoding is spread over the cores: chunks of so many frames (0: one encoder for the
// whole stream, in a thread of its own).
struct Chunking {
    int frames = 0;
    int leadIn = 0;
    int runOut = 0;
};

// Chunks of about this long keep both encoders busy and little audio in memory.
constexpr double ChunkSeconds = 4.0;
// Enough for the encoders' state to settle: the AC3 transform overlaps half a block, the Layer II
// filter bank reaches 512 samples back and its psychoacoustic model two frames.
constexpr int LeadInFrames = 3;
constexpr int RunOutFrames = 2;
constexpr int ChunkWorkers = 2;
constexpr std::size_t ChunksOnTheirWay = 2 * ChunkWorkers;

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

Chunking planChunking(const Options& options, const AVCodecContext& encoder, int frameSize)
{
    // PCM has nothing to gain.
    if (options.codec == Codec::Wav)
        return {};
    const int frames = chunkFramesFromEnvironment().value_or(
        static_cast<int>(std::lround(ChunkSeconds * encoder.sample_rate / frameSize)));
    if (frames <= 0)
        return {};
    return {frames, LeadInFrames, RunOutFrames};
}

int encoderFrameSize(const AVCodecContext& encoder)
{
    const bool anySize =
        (encoder.codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || encoder.frame_size <= 0;
    return anySize ? AnySizeFrame : encoder.frame_size;
}

// Moves converted samples from the resampler to the encoder, frame by frame, and finished
// packets to the muxer. The encoding runs in threads of its own, so decoding and resampling
// go on meanwhile: one encoder thread fed through a frame queue, or chunks of the stream
// encoded side by side (see ChunkEncoder.h).
class EncodeStage
{
public:
    EncodeStage(const Options& options, const Plan& plan, AVSampleFormat inFormat, double gain,
                RunLog& log)
        : options_(options), encoder_(openEncoder(options, plan)), output_(options.output),
          frameSize_(encoderFrameSize(*encoder_)),
          resampler_(plan, inFormat, encoder_->sample_fmt, gain, &log),
          fifo_(initFifo(*encoder_, frameSize_)), packet_(makePacket()),
          nextPts_(-encoder_->initial_padding)
    {
        log.line("encoder: " + encoderSettings(options, plan));
        openOutput(output_, options, *encoder_);
        const Chunking chunking = planChunking(options, *encoder_, frameSize_);
        if (chunking.frames > 0) {
            log.line("encoding: " + std::to_string(ChunkWorkers) + " encoders, chunks of " +
                     std::to_string(chunking.frames) + " frames");
            chunks_ = std::make_unique<ChunkEncoder>(
                options.output, ChunkWorkers, ChunksOnTheirWay,
                [&options, &plan] { return openEncoder(options, plan); },
                [this](AVPacket& packet) { writeInTurn(packet); });
            cutter_ = std::make_unique<ChunkCutter>(*chunks_, chunking.frames, chunking.leadIn,
                                                    chunking.runOut);
        } else {
            encoderThread_ = std::thread([this] { encodeQueued(); });
        }
    }

    EncodeStage(const EncodeStage&) = delete;
    EncodeStage& operator=(const EncodeStage&) = delete;

    // An unfinished stage (an error, a signal) stops its encoder thread before anything goes.
    ~EncodeStage()
    {
        queue_.cancel();
        if (encoderThread_.joinable())
            encoderThread_.join();
    }

    void add(const AVFrame& decoded)
    {
        convert(decoded.extended_data, decoded.nb_samples);
        encodeWhole();
    }

    // Everything the resampler still holds, then the FIFO's last, partial frame, then what
    // the encoder still holds, then the trailer; the file is renamed into place last.
    void finish()
    {
        convert(nullptr, 0);
        encodeWhole();
        encodeRest();
        if (cutter_) {
            cutter_->finish();
            chunks_->finish();
        } else {
            hand(nullptr);
            encoderThread_.join();
            rethrowEncoderError();
        }
        check(av_write_trailer(output_.format.get()), options_.output + ": cannot write");
        avio_flush(output_.io.get());
        if (output_.io->error < 0)
            check(output_.io->error, options_.output + ": cannot write");
        output_.file.commit();
    }

private:
    // A null input drains the resampler.
    void convert(const std::uint8_t* const* in, int inSamples)
    {
        resampler_.convert(in, inSamples, [&](const AVFrame& converted) {
            if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted.extended_data),
                                    converted.nb_samples) < converted.nb_samples)
                throw WorkError("out of memory (FIFO)");
        });
    }

    void encodeWhole()
    {
        while (av_audio_fifo_size(fifo_.get()) >= frameSize_)
            encodeFromFifo(frameSize_);
    }

    void encodeRest()
    {
        const int rest = av_audio_fifo_size(fifo_.get());
        if (rest > 0)
            encodeFromFifo(rest);
    }

    [[nodiscard]] FramePtr emptyFrame()
    {
        if (FramePtr frame = queue_.reuse()) {
            check(av_frame_make_writable(frame.get()), "out of memory (frame)");
            return frame;
        }
        FramePtr frame = makeFrame();
        frame->nb_samples = frameSize_;
        frame->format = encoder_->sample_fmt;
        frame->sample_rate = encoder_->sample_rate;
        check(av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout), "channel layout");
        check(av_frame_get_buffer(frame.get(), 0), "out of memory (frame)");
        return frame;
    }

    void encodeFromFifo(int samples)
    {
        FramePtr frame = emptyFrame();
        av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), samples);
        const bool shortAllowed =
            encoder_->codec->capabilities &
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

    // To the encoder thread or the chunks; a null frame ends the encoder thread's work.
    void hand(FramePtr frame)
    {
        if (cutter_) {
            cutter_->add(std::move(frame));
            return;
        }
        if (!queue_.push(std::move(frame))) {
            encoderThread_.join();
            rethrowEncoderError();
            throw WorkError(options_.output + ": encoding stopped");
        }
    }

    void rethrowEncoderError()
    {
        if (encoderError_)
            std::rethrow_exception(encoderError_);
    }

    // The encoder thread: encodes and writes what comes through the queue, then flushes the
    // encoder. A failure is kept for the other side and stops the queue.
    void encodeQueued()
    {
        try {
            while (FramePtr frame = queue_.pop()) {
                encode(frame.get());
                frame->nb_samples = frameSize_;
                queue_.recycle(std::move(frame));
            }
            if (!queue_.cancelled())
                encode(nullptr);
        } catch (...) {
            encoderError_ = std::current_exception();
            queue_.cancel();
        }
    }

    // A null frame flushes the encoder.
    void encode(AVFrame* frame)
    {
        checkEach(avcodec_send_frame(encoder_.get(), frame),
                  [&] { return options_.output + ": encoding failed"; });
        for (;;) {
            const int got = avcodec_receive_packet(encoder_.get(), packet_.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            checkEach(got, [&] { return options_.output + ": encoding failed"; });
            write(*packet_);
        }
    }

    void write(AVPacket& packet)
    {
        av_packet_rescale_ts(&packet, encoder_->time_base, output_.stream->time_base);
        packet.stream_index = output_.stream->index;
        checkEach(av_write_frame(output_.format.get(), &packet),
                  [&] { return options_.output + ": cannot write"; });
    }

    // A chunk's packet, in its turn. Each chunk's encoder starts its clock afresh, so the
    // timestamps are those one encoder would have given.
    void writeInTurn(AVPacket& packet)
    {
        packet.pts = nextPts_;
        packet.dts = nextPts_;
        nextPts_ += packet.duration > 0 ? packet.duration : frameSize_;
        write(packet);
    }

    const Options& options_;
    CodecContextPtr encoder_;
    Output output_;
    int frameSize_;
    Resampler resampler_;
    FifoPtr fifo_;
    PacketPtr packet_; // the encoder thread's
    std::int64_t samplesSent_ = 0;
    FrameQueue queue_{32};
    std::exception_ptr encoderError_; // set by the encoder thread before it ends
    std::thread encoderThread_;
    std::int64_t nextPts_; // of the next chunk packet, in the encoder's time base
    // Stopped before the output goes.
    std::unique_ptr<ChunkEncoder> chunks_;
    std::unique_ptr<ChunkCutter> cutter_;
};

void encodePass(Input input, const Options& options, const Plan& plan, double gain, bool secondPass,
                RunLog& log)
{
    EncodeStage stage(options, plan, input.decoder->sample_fmt, gain, log);
    Progress progress(secondPass ? "Pass 2/2: encoding" : "Pass 1/1: encoding");
    const std::int64_t samples =
        decodeAll(input, progress, [&](const AVFrame& frame) { stage.add(frame); });
    checkNotEmpty(input, samples);
    stage.finish();
    progress.finish();
}

double normalisingGain(Input input, const Options& options, const Plan& plan, RunLog& log)
{
    const double peak = measurePeak(std::move(input), plan);
    if (peak <= 0.0) {
        log.line("peak: silence; gain: none");
        return 1.0;
    }
    const double gain = *options.norm / peak;
    log.line("peak: " + std::to_string(peak) + " (" + decibels(peak) + " FS)");
    log.line("gain: " + std::to_string(gain) + " (" + decibels(gain) + ") to reach " +
             std::to_string(*options.norm));
    return gain;
}

} // namespace

void transcode(const Options& options, RunLog& log)
{
    Input input = openInput(options);
    logInput(input, log);
    Plan plan;
    planConversion(plan, options, input, log);
    double gain = 1.0;
    const bool normalise = options.norm && *options.norm > 0.0;
    if (normalise) {
        gain = normalisingGain(std::move(input), options, plan, log);
        input = openInput(options);
    } else if (options.norm) {
        log.line("normalisation: none (-norm 0); gain: none");
    }
    encodePass(std::move(input), options, plan, gain, normalise, log);
}

} // namespace besweet
