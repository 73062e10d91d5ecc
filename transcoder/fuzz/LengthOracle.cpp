// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzz target's check of the output's length against a plain decode of the input.
#include "fuzz/LengthOracle.h"

#include "core/Av.h"
#include "input/Input.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace besweet::fuzz
{

namespace
{

// Decodes every packet of the stream; a packet the decoder refuses is passed over. Returns the
// seconds decoded; stops once limit sample frames are reached (0: no limit).
double decodeStream(AVFormatContext& format, int streamIndex, std::int64_t limit)
{
    const AVCodecParameters& parameters = *format.streams[streamIndex]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!codec || !decoder || avcodec_parameters_to_context(decoder.get(), &parameters) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return 0.0;
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();
    std::int64_t samples = 0;
    double seconds = 0.0;
    const auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            if (frame->sample_rate > 0 && (limit == 0 || samples < limit)) {
                samples += frame->nb_samples;
                seconds += static_cast<double>(frame->nb_samples) / frame->sample_rate;
            }
            av_frame_unref(frame.get());
        }
    };
    for (int stalls = 0; limit == 0 || samples < limit;) {
        const int read = av_read_frame(&format, packet.get());
        if (read == AVERROR(EAGAIN) && ++stalls < 100)
            continue;
        if (read < 0)
            break;
        stalls = 0;
        if (packet->stream_index == streamIndex && packet->size > 0) {
            avcodec_send_packet(decoder.get(), packet.get());
            receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    return seconds;
}

struct ParserDeleter {
    void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
};

// A track of MPEG audio or AC3 frames, parsed and decoded frame by frame: FFmpeg's demuxer would
// refuse a track of two frames, which it takes for too few to be sure of.
std::optional<double> decodeFrames(const std::filesystem::path& path, AVCodecID codecId)
{
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), {});
    bytes.append(AV_INPUT_BUFFER_PADDING_SIZE, '\0');
    const std::size_t size = bytes.size() - AV_INPUT_BUFFER_PADDING_SIZE;
    const AVCodec* codec = avcodec_find_decoder(codecId);
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    const std::unique_ptr<AVCodecParserContext, ParserDeleter> parser(av_parser_init(codecId));
    if (!codec || !decoder || !parser || avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return std::nullopt;
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();
    double seconds = 0.0;
    const auto decode = [&](const AVPacket* whole) {
        avcodec_send_packet(decoder.get(), whole);
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            if (frame->sample_rate > 0)
                seconds += static_cast<double>(frame->nb_samples) / frame->sample_rate;
            av_frame_unref(frame.get());
        }
    };
    auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());
    for (std::size_t at = 0;;) {
        const int left = static_cast<int>(size - at);
        const int used = av_parser_parse2(parser.get(), decoder.get(), &packet->data, &packet->size,
                                          data + at, left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0)
            return std::nullopt;
        at += static_cast<std::size_t>(used);
        if (packet->size > 0)
            decode(packet.get());
        if (left == 0 && packet->size == 0)
            break;
    }
    decode(nullptr);
    return seconds;
}

} // namespace

double plainDecodeSeconds(const Options& options, std::int64_t limit)
{
    // besweet's own opening: the same demuxer, options and stream.
    Input input = openInput(options);
    return decodeStream(*input.format, input.stream->index, limit);
}

std::optional<double> decodedSeconds(const std::filesystem::path& path)
{
    const std::string extension = path.extension().string();
    if (extension == ".mpa" || extension == ".ac3")
        return decodeFrames(path, extension == ".mpa" ? AV_CODEC_ID_MP2 : AV_CODEC_ID_AC3);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, ("file:" + path.string()).c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    const InputFormatPtr format(raw);
    const int stream = avformat_find_stream_info(raw, nullptr) < 0
                           ? -1
                           : av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0)
        return std::nullopt;
    return decodeStream(*raw, stream, 0);
}

namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isWordCharacter(char c)
{
    return isDigit(c) || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The seconds a warning line names: every "<digits>.<digits> s" standing as a word.
double secondsNamedIn(std::string_view line)
{
    double seconds = 0.0;
    std::size_t at = 0;
    while (at < line.size()) {
        if (!isDigit(line[at]) || (at > 0 && (isDigit(line[at - 1]) || line[at - 1] == '.'))) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < line.size() && isDigit(line[end]))
            ++end;
        const std::size_t fraction = end < line.size() && line[end] == '.' ? end + 1 : end;
        std::size_t fractionEnd = fraction;
        while (fractionEnd < line.size() && isDigit(line[fractionEnd]))
            ++fractionEnd;
        const std::string_view unit = line.substr(fractionEnd);
        if (fraction != end && fractionEnd > fraction && unit.starts_with(" s") &&
            (unit.size() == 2 || !isWordCharacter(unit[2])))
            seconds += std::stod(std::string(line.substr(at, fractionEnd - at)));
        at = fractionEnd;
    }
    return seconds;
}

} // namespace

double warnedSeconds(const std::string& log)
{
    double seconds = 0.0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("warning: "))
            continue;
        seconds += secondsNamedIn(line);
        if (line.find(" damaged audio data at ") != std::string::npos)
            seconds += LongestFrameSeconds;
    }
    return seconds;
}

std::optional<std::string> lengthFinding(double plain, double output, double warned)
{
    if (std::fabs(output - plain) <= warned + UnwarnedSeconds)
        return std::nullopt;
    return "the output holds " + std::to_string(output) + " s, a plain decode " +
           std::to_string(plain) + " s, and the warnings account for " + std::to_string(warned) +
           " s";
}

} // namespace besweet::fuzz
