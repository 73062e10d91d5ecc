// SPDX-License-Identifier: GPL-3.0-or-later
// How far the encoders' decoded output overshoots the level the input was normalised to, on
// material of several kinds: the figures behind the headroom besweet keeps below full scale.
//
//   cmake -S . -B build -DKLANGDORN_BUILD_BENCH=ON
//   cmake --build build --target bench_encoder_overshoot
//   build/bench_encoder_overshoot build/besweet
//
// Each input is normalised to 0.5 (so nothing can clip on the way) and encoded; the overshoot is
// the decoded peak over 0.5.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace
{

constexpr int Rate = 48000;
constexpr double Seconds = 4.0;

using Signal = std::function<double(int frame, int channel)>;

struct Material {
    const char* name;
    Signal signal;
};

double whiteNoise(std::mt19937& random)
{
    return std::uniform_real_distribution<double>(-1.0, 1.0)(random);
}

std::vector<Material> materials()
{
    auto random = std::make_shared<std::mt19937>(1);
    auto pink = std::make_shared<std::vector<double>>(14, 0.0);
    const auto phase = [](int f, double hz) { return 2.0 * M_PI * hz * f / Rate; };
    return {
        {"sine 1 kHz", [=](int f, int) { return std::sin(phase(f, 1000)); }},
        {"sine 10 kHz", [=](int f, int) { return std::sin(phase(f, 10000)); }},
        {"sine 15 kHz", [=](int f, int) { return std::sin(phase(f, 15000)); }},
        {"square 100 Hz", [=](int f, int) { return std::sin(phase(f, 100)) >= 0 ? 1.0 : -1.0; }},
        {"square 1 kHz", [=](int f, int) { return std::sin(phase(f, 1000)) >= 0 ? 1.0 : -1.0; }},
        {"sawtooth 440 Hz",
         [=](int f, int) { return 2.0 * std::fmod(440.0 * f / Rate, 1.0) - 1.0; }},
        {"white noise", [=](int, int) { return whiteNoise(*random); }},
        {"pink noise",
         [=](int, int c) {
             // Voss-McCartney: rows updated at halving rates.
             static std::uint32_t counter = 0;
             if (c == 0)
                 ++counter;
             const int row = counter ? __builtin_ctz(counter) % 14 : 0;
             (*pink)[static_cast<std::size_t>(row)] = whiteNoise(*random);
             double sum = 0;
             for (const double v : *pink)
                 sum += v;
             return sum / 14.0;
         }},
        {"clicks", [=](int f, int) { return f % 4800 == 0 ? 1.0 : 0.0; }},
        {"sweep 20 Hz-20 kHz",
         [=](int f, int) {
             const double t = static_cast<double>(f) / Rate;
             return std::sin(2 * M_PI * 20 * Seconds / std::log(1000.0) *
                             (std::exp(t / Seconds * std::log(1000.0)) - 1));
         }},
        {"clipped drums",
         [=](int f, int) {
             const double t = std::fmod(static_cast<double>(f) / Rate, 0.25);
             const double hit = std::exp(-t * 30) * std::sin(2 * M_PI * 60 * t) * 4;
             return std::clamp(hit + 0.3 * whiteNoise(*random), -1.0, 1.0);
         }},
    };
}

void put(std::ofstream& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>(value >> (8 * i) & 0xff));
}

void writeFloatWav(const std::filesystem::path& path, const Signal& signal)
{
    const auto frames = static_cast<std::uint32_t>(Seconds * Rate);
    std::ofstream out(path, std::ios::binary);
    out << "RIFF";
    put(out, 36 + frames * 8, 4);
    out << "WAVEfmt ";
    put(out, 16, 4);
    put(out, 3, 2);
    put(out, 2, 2);
    put(out, Rate, 4);
    put(out, Rate * 8, 4);
    put(out, 8, 2);
    put(out, 32, 2);
    out << "data";
    put(out, frames * 8, 4);
    for (std::uint32_t f = 0; f < frames; ++f)
        for (int c = 0; c < 2; ++c) {
            const auto value = static_cast<float>(signal(static_cast<int>(f), c));
            std::uint32_t bits = 0;
            std::memcpy(&bits, &value, 4);
            put(out, bits, 4);
        }
}

double decodedPeak(const std::filesystem::path& path)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(format, nullptr) < 0)
        return -1;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[index]->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    decoder->request_sample_fmt = AV_SAMPLE_FMT_FLT;
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
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(decoder, packet) == 0)
            drain();
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return peak;
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
        std::freopen("/dev/null", "w", stdout);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s path/to/besweet\n", argv[0]);
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);
    const std::string besweet = argv[1];
    const auto folder = std::filesystem::temp_directory_path() / "besweet-overshoot";
    std::filesystem::create_directories(folder);
    const std::vector<std::pair<const char*, std::vector<std::string>>> encoders{
        {"AC3 192", {"-ac3enc(", "-b", "192", ")"}},
        {"AC3 448", {"-ac3enc(", "-b", "448", ")"}},
        {"Layer II j 224", {"-toolame(", "-m", "j", "-b", "224", ")"}},
        {"Layer II s 384", {"-toolame(", "-m", "s", "-b", "384", ")"}},
        {"Layer II m 96", {"-toolame(", "-m", "m", "-b", "96", ")"}},
    };
    std::printf("%-20s", "overshoot (dB)");
    for (const auto& e : encoders)
        std::printf(" %15s", e.first);
    std::printf("\n");
    std::vector<double> worst(encoders.size(), -99.0);
    for (const Material& material : materials()) {
        const auto input = folder / "in.wav";
        writeFloatWav(input, material.signal);
        std::printf("%-20s", material.name);
        for (std::size_t e = 0; e < encoders.size(); ++e) {
            const auto output =
                folder / (std::string("o.") + (encoders[e].first[0] == 'A' ? "ac3" : "mpa"));
            std::vector<std::string> arguments{besweet,   "-core(",        "-input", input.string(),
                                               "-output", output.string(), ")",      "-ota(",
                                               "-norm",   "0.5",           ")"};
            arguments.insert(arguments.end(), encoders[e].second.begin(), encoders[e].second.end());
            if (run(arguments) != 0) {
                std::printf(" %15s", "failed");
                continue;
            }
            const double overshoot = 20 * std::log10(decodedPeak(output) / 0.5);
            worst[e] = std::max(worst[e], overshoot);
            std::printf(" %15.2f", overshoot);
        }
        std::printf("\n");
    }
    std::printf("%-20s", "worst");
    for (const double w : worst)
        std::printf(" %15.2f", w);
    std::printf("\n");
    std::filesystem::remove_all(folder);
    return 0;
}
