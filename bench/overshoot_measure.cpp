// SPDX-License-Identifier: GPL-3.0-or-later
// Runs besweet for the encoder overshoot benchmark and measures its tracks with FFmpeg's
// libraries, ffprobe and an ffmpeg DVD mux.
#include "overshoot_measure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace overshoot
{

namespace
{

// The frames in a raw MPEG-1 Layer II file, header after header; -1 where a header is wrong.
long framesWritten(const std::filesystem::path& path)
{
    static const int kbps[] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    static const int rates[] = {44100, 48000, 32000};
    const std::string bytes = readText(path);
    long frames = 0;
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++frames) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
        const int index = byte(2) >> 4;
        const int rate = (byte(2) >> 2) & 3;
        if (byte(0) != 0xff || (byte(1) & 0xfe) != 0xfc || index == 0 || index == 15 || rate == 3)
            return -1;
        at += static_cast<std::size_t>(144000 * kbps[index] / rates[rate] + ((byte(2) >> 1) & 1));
    }
    return frames;
}

// What a shell command prints, without the line end.
std::string outputOf(const std::string& command)
{
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            text += buffer;
        pclose(pipe);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

long framesRead(const std::filesystem::path& path)
{
    const std::string count =
        outputOf("ffprobe -v error -count_frames -select_streams a -show_entries "
                 "stream=nb_read_frames -of csv=p=0 " +
                 quoted(path));
    return count.empty() ? -1 : std::stol(count);
}

} // namespace

std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double decodedPeak(const std::filesystem::path& path)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(format, nullptr) < 0)
        return -1;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (codec->id == AV_CODEC_ID_MP2)
        codec = avcodec_find_decoder_by_name("mp2float");
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[index]->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    double peak = 0;
    const auto drain = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            const auto fmt = static_cast<AVSampleFormat>(frame->format);
            const int channels = frame->ch_layout.nb_channels;
            const bool planar = av_sample_fmt_is_planar(fmt);
            for (int c = 0; c < channels; ++c)
                for (int i = 0; i < frame->nb_samples; ++i) {
                    const int at = planar ? i : i * channels + c;
                    const std::uint8_t* data = frame->extended_data[planar ? c : 0];
                    const double v =
                        av_get_packed_sample_fmt(fmt) == AV_SAMPLE_FMT_FLT
                            ? reinterpret_cast<const float*>(data)[at]
                            : reinterpret_cast<const std::int16_t*>(data)[at] / 32768.0;
                    peak = std::max(peak, std::fabs(v));
                }
        }
    };
    if (codec->id == AV_CODEC_ID_MP2) {
        // Every frame, as besweet measures it: FFmpeg's demuxer skips a first frame whose channel
        // mode differs from the next one's as junk.
        const std::string bytes = readText(path);
        AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_MP2);
        std::size_t at = 0;
        for (bool more = true; more;) {
            const int left = static_cast<int>(bytes.size() - at);
            std::uint8_t* data = nullptr;
            int size = 0;
            const int used = av_parser_parse2(
                parser, decoder, &data, &size,
                left ? reinterpret_cast<const std::uint8_t*>(bytes.data()) + at : nullptr, left,
                AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            at += static_cast<std::size_t>(std::max(used, 0));
            more = left > 0 || size > 0;
            packet->data = data;
            packet->size = size;
            if (size > 0 && avcodec_send_packet(decoder, packet) == 0)
                drain();
        }
        av_parser_close(parser);
        packet->data = nullptr;
        packet->size = 0;
    } else {
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index && avcodec_send_packet(decoder, packet) == 0)
                drain();
            av_packet_unref(packet);
        }
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return peak;
}

std::string quoted(const std::filesystem::path& path)
{
    return "'" + path.string() + "'";
}

bool framesAllKept(const std::filesystem::path& track, const std::filesystem::path& video)
{
    const auto mux = track.parent_path() / "mux.vob";
    const std::string muxing = "ffmpeg -v fatal -y -i " + quoted(video) + " -i " + quoted(track) +
                               " -map 0:v -map 1:a -c copy -f dvd " + quoted(mux);
    const long written = framesWritten(track);
    return written > 0 && framesRead(track) == written && std::system(muxing.c_str()) == 0 &&
           framesRead(mux) == written;
}

int run(const std::vector<std::string>& arguments)
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const auto& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // The child's output is not wanted; where /dev/null cannot be had, it goes as it is.
        if (std::freopen("/dev/null", "w", stdout) == nullptr ||
            std::freopen("/dev/null", "w", stderr) == nullptr)
            std::perror("/dev/null");
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int countOf(const std::string& text, const std::string& what)
{
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

std::vector<std::string> besweetLine(const std::string& besweet, const std::filesystem::path& in,
                                     const std::filesystem::path& out, const Encoder& encoder,
                                     const std::string& norm, const std::filesystem::path& log)
{
    std::vector<std::string> arguments{besweet,     "-core(",  "-input",
                                       in.string(), "-output", out.string()};
    if (!log.empty())
        arguments.insert(arguments.end(), {"-logfile", log.string()});
    arguments.emplace_back(")");
    if (!norm.empty())
        arguments.insert(arguments.end(), {"-ota(", "-norm", norm, ")"});
    arguments.insert(arguments.end(), encoder.section.begin(), encoder.section.end());
    return arguments;
}

} // namespace overshoot
