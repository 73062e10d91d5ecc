// SPDX-License-Identifier: GPL-3.0-or-later
// How far the encoders' decoded output peaks above the true peak of what they were given, per
// codec, bitrate and material: the figures behind besweet's margin table (Transcoder.cpp). Then
// -norm at several levels on the same material: where the decoded peak lands, and how often
// besweet had to encode again. Every Layer II track is also counted three ways: the frames
// written (header after header), the frames ffprobe reads, and the frames an `ffmpeg -f dvd` mux
// with a video keeps (FFmpeg's MPEG audio reader drops a start whose first frames differ in
// their header's mode); a cell marked # lost frames. Needs ffmpeg and ffprobe on the PATH.
//
//   cmake -S . -B build -DKLANGDORN_BUILD_BENCH=ON
//   cmake --build build --target bench_encoder_overshoot
//   build/bench_encoder_overshoot build/besweet
//   build/bench_encoder_overshoot --materials DIR   (only writes the inputs)
//
// Each input is scaled so its true peak (4x oversampled, BS.1770-4 Annex 2) is 0.5, so nothing
// can clip on the way, and encoded without -norm; the margin is the decoded peak over 0.5.
#include "level/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
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
constexpr int Frames = static_cast<int>(Seconds * Rate);

using Signal = std::function<double(int frame, int channel)>;

struct Material {
    const char* name;
    Signal signal;
    bool ordinary; // counts for the margin table (music, speech, tones, noise of real levels)
};

double whiteNoise(std::mt19937& random)
{
    return std::uniform_real_distribution<double>(-1.0, 1.0)(random);
}

// Plucked strings (Karplus-Strong, a new note every 0.4 s on each side, plucked with a soft,
// smoothed burst as a finger would) over soft noise.
std::vector<double> pluckedStrings()
{
    std::mt19937 random(7);
    std::vector<double> out(static_cast<std::size_t>(Frames) * 2);
    for (int c = 0; c < 2; ++c) {
        std::vector<double> line;
        std::size_t at = 0;
        for (int f = 0; f < Frames; ++f) {
            if (f % (Rate * 2 / 5) == (c ? Rate / 5 : 0)) {
                const double hz = 110.0 * std::pow(2.0, (random() % 24) / 12.0);
                line.assign(static_cast<std::size_t>(Rate / hz), 0.0);
                double smooth = 0.0;
                for (double& v : line)
                    v = smooth = 0.7 * smooth + 0.3 * whiteNoise(random);
                at = 0;
            }
            double v = 0.0;
            if (!line.empty()) {
                const std::size_t next = (at + 1) % line.size();
                v = line[at];
                line[at] = 0.498 * (line[at] + line[next]);
                at = next;
            }
            out[static_cast<std::size_t>(f) * 2 + static_cast<std::size_t>(c)] =
                0.8 * v + 0.05 * whiteNoise(random);
        }
    }
    return out;
}

// Something like speech: a glottal pulse train with a wandering pitch through three formant
// resonators, in syllables of 150-300 ms with pauses; the same on both sides.
std::vector<double> speechLike()
{
    std::mt19937 random(11);
    std::vector<double> out(static_cast<std::size_t>(Frames) * 2);
    const double formants[3] = {700, 1220, 2600};
    double state[3][2] = {};
    double phase = 0.0;
    int syllableEnd = 0;
    double formantShift = 1.0;
    bool voiced = true;
    for (int f = 0; f < Frames; ++f) {
        if (f >= syllableEnd) {
            syllableEnd = f + Rate * (150 + static_cast<int>(random() % 150)) / 1000;
            formantShift = 0.7 + (random() % 60) / 100.0;
            voiced = random() % 4 != 0;
        }
        const double pitch = 110.0 + 30.0 * std::sin(2 * M_PI * 0.7 * f / Rate);
        phase += pitch / Rate;
        double excitation = 0.0;
        if (phase >= 1.0) {
            phase -= 1.0;
            excitation = voiced ? 1.0 : 0.0;
        }
        const double envelope =
            std::sin(M_PI * (syllableEnd - f) / std::max(1.0, Rate * 0.3)); // rises and falls
        double sum = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double w = 2 * M_PI * formants[k] * formantShift / Rate;
            const double r = 0.97;
            const double y = excitation + 2 * r * std::cos(w) * state[k][0] - r * r * state[k][1];
            state[k][1] = state[k][0];
            state[k][0] = y;
            sum += y / (k + 1);
        }
        const double v = std::fabs(envelope) * sum + 0.01 * whiteNoise(random);
        out[static_cast<std::size_t>(f) * 2] = v;
        out[static_cast<std::size_t>(f) * 2 + 1] = v;
    }
    return out;
}

Signal fromSamples(std::vector<double> samples)
{
    auto shared = std::make_shared<std::vector<double>>(std::move(samples));
    return [shared](int f, int c) {
        return (*shared)[static_cast<std::size_t>(f) * 2 + static_cast<std::size_t>(c)];
    };
}

std::vector<Material> materials()
{
    auto random = std::make_shared<std::mt19937>(1);
    auto pink = std::make_shared<std::vector<double>>(14, 0.0);
    const auto phase = [](int f, double hz) { return 2.0 * M_PI * hz * f / Rate; };
    return {
        {"plucked + noise", fromSamples(pluckedStrings()), true},
        {"speech-like", fromSamples(speechLike()), true},
        {"sine 1 kHz", [=](int f, int) { return std::sin(phase(f, 1000)); }, true},
        {"sine 10 kHz", [=](int f, int) { return std::sin(phase(f, 10000)); }, true},
        {"sine 15 kHz", [=](int f, int) { return std::sin(phase(f, 15000)); }, false},
        {"square 100 Hz", [=](int f, int) { return std::sin(phase(f, 100)) >= 0 ? 1.0 : -1.0; },
         false},
        {"square 1 kHz", [=](int f, int) { return std::sin(phase(f, 1000)) >= 0 ? 1.0 : -1.0; },
         false},
        {"sawtooth 440 Hz",
         [=](int f, int) { return 2.0 * std::fmod(440.0 * f / Rate, 1.0) - 1.0; }, false},
        {"white noise", [=](int, int) { return whiteNoise(*random); }, false},
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
         },
         true},
        {"clicks", [=](int f, int) { return f % 4800 == 0 ? 1.0 : 0.0; }, false},
        {"sweep 20 Hz-20 kHz",
         [=](int f, int) {
             const double t = static_cast<double>(f) / Rate;
             return std::sin(2 * M_PI * 20 * Seconds / std::log(1000.0) *
                             (std::exp(t / Seconds * std::log(1000.0)) - 1));
         },
         true},
        {"clipped drums",
         [=](int f, int) {
             const double t = std::fmod(static_cast<double>(f) / Rate, 0.25);
             const double hit = std::exp(-t * 30) * std::sin(2 * M_PI * 60 * t) * 4;
             return std::clamp(hit + 0.3 * whiteNoise(*random), -1.0, 1.0);
         },
         false},
    };
}

std::vector<double> generate(const Signal& signal)
{
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(Frames) * 2);
    for (int f = 0; f < Frames; ++f)
        for (int c = 0; c < 2; ++c)
            samples.push_back(signal(f, c));
    return samples;
}

// With besweet's own meter: what its first pass finds.
double truePeakOf(const std::vector<double>& samples)
{
    double peak = 0.0;
    for (std::size_t c = 0; c < 2; ++c) {
        besweet::TruePeak meter;
        float* out = meter.reserve(samples.size() / 2);
        for (std::size_t f = 0; f < samples.size() / 2; ++f)
            out[f] = static_cast<float>(samples[f * 2 + c]);
        meter.take(samples.size() / 2);
        peak = std::max(peak, meter.peak());
    }
    return peak;
}

void put(std::ofstream& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>(value >> (8 * i) & 0xff));
}

void writeFloatWav(const std::filesystem::path& path, const std::vector<double>& samples)
{
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 4);
    std::ofstream out(path, std::ios::binary);
    out << "RIFF";
    put(out, 36 + bytes, 4);
    out << "WAVEfmt ";
    put(out, 16, 4);
    put(out, 3, 2);
    put(out, 2, 2);
    put(out, Rate, 4);
    put(out, Rate * 8, 4);
    put(out, 8, 2);
    put(out, 32, 2);
    out << "data";
    put(out, bytes, 4);
    for (const double sample : samples) {
        const auto value = static_cast<float>(sample);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, 4);
        put(out, bits, 4);
    }
}

std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Layer II is decoded to float, so a peak above full scale shows.
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

std::string quoted(const std::filesystem::path& path)
{
    return "'" + path.string() + "'";
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

// Written, read by ffprobe and kept in a DVD mux with video: all the same.
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

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Encoder {
    const char* name;
    std::vector<std::string> section;
};

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

// The material's samples, scaled to a true peak of 0.5.
std::vector<double> atHalfTruePeak(const Material& material)
{
    std::vector<double> samples = generate(material.signal);
    const double scale = 0.5 / truePeakOf(samples);
    for (double& s : samples)
        s *= scale;
    return samples;
}

std::string materialName(int index)
{
    return "in" + std::to_string(index) + ".wav";
}

// --materials DIR: only the inputs, as the tables use them, for comparing two builds' outputs
// (bench/same_outputs.sh).
int writeMaterials(const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder);
    int index = 0;
    for (const Material& material : materials())
        writeFloatWav(folder / materialName(index++), atHalfTruePeak(material));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--materials") == 0)
        return writeMaterials(argv[2]);
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--margins") != 0)) {
        std::fprintf(stderr, "usage: %s path/to/besweet [--margins]\n       %s --materials DIR\n",
                     argv[0], argv[0]);
        return 2;
    }
    const bool marginsOnly = argc == 3;
    av_log_set_level(AV_LOG_ERROR);
    const std::string besweet = argv[1];
    const auto folder =
        std::filesystem::temp_directory_path() / ("besweet-overshoot-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto video = folder / "video.m2v";
    if (std::system(("ffmpeg -v error -y -f lavfi -i testsrc2=size=720x576:rate=25:duration=5 "
                     "-c:v mpeg2video -b:v 3M -maxrate 8M -bufsize 1835k -g 12 " +
                     quoted(video))
                        .c_str()) != 0) {
        std::fprintf(stderr, "needs ffmpeg and ffprobe on the PATH\n");
        return 2;
    }
    int layerIITracks = 0;
    int framesLost = 0;
    // Checks the frames of a Layer II track; the mark for its cell.
    const auto frameMark = [&](const std::filesystem::path& track) {
        if (track.extension() != ".mpa")
            return " ";
        ++layerIITracks;
        if (framesAllKept(track, video))
            return " ";
        ++framesLost;
        return "#";
    };
    const std::vector<Encoder> encoders{
        {"AC3 192", {"-ac3enc(", "-b", "192", ")"}},
        {"AC3 224", {"-ac3enc(", "-b", "224", ")"}},
        {"AC3 256", {"-ac3enc(", "-b", "256", ")"}},
        {"AC3 384", {"-ac3enc(", "-b", "384", ")"}},
        {"AC3 448", {"-ac3enc(", "-b", "448", ")"}},
        {"L2 m 96", {"-toolame(", "-m", "m", "-b", "96", ")"}},
        {"L2 j 192", {"-toolame(", "-m", "j", "-b", "192", ")"}},
        {"L2 j 224", {"-toolame(", "-m", "j", "-b", "224", ")"}},
        {"L2 s 256", {"-toolame(", "-m", "s", "-b", "256", ")"}},
        {"L2 j 384", {"-toolame(", "-m", "j", "-b", "384", ")"}},
    };
    const auto outputFor = [&](const Encoder& e) {
        return folder / (std::string("o.") + (e.name[0] == 'A' ? "ac3" : "mpa"));
    };

    std::printf("decoded peak minus true peak (dB), input at a true peak of 0.5\n%-20s", "");
    for (const auto& e : encoders)
        std::printf(" %9s", e.name);
    std::printf("\n");
    std::vector<std::vector<double>> ordinary(encoders.size());
    std::vector<double> worst(encoders.size(), -99.0);
    std::vector<std::pair<Material, std::filesystem::path>> inputs;
    int index = 0;
    for (const Material& material : materials()) {
        const auto input = folder / materialName(index++);
        writeFloatWav(input, atHalfTruePeak(material));
        inputs.emplace_back(material, input);
        std::printf("%-20s", material.name);
        for (std::size_t e = 0; e < encoders.size(); ++e) {
            if (run(besweetLine(besweet, input, outputFor(encoders[e]), encoders[e], "", {})) !=
                0) {
                std::printf(" %9s", "failed");
                continue;
            }
            const double margin = 20 * std::log10(decodedPeak(outputFor(encoders[e])) / 0.5);
            worst[e] = std::max(worst[e], margin);
            if (material.ordinary)
                ordinary[e].push_back(margin);
            std::printf(" %8.2f%s", margin, frameMark(outputFor(encoders[e])));
        }
        std::printf("\n");
    }
    std::printf("%-20s", "median, ordinary");
    for (const auto& values : ordinary)
        std::printf(" %9.2f", median(values));
    std::printf("\n%-20s", "worst");
    for (const double w : worst)
        std::printf(" %9.2f", w);
    std::printf("\n");
    const auto reportFrames = [&] {
        std::printf("Layer II frames: %d tracks, %d with frames that ffprobe or a DVD mux drops "
                    "(#)\n",
                    layerIITracks, framesLost);
    };
    if (marginsOnly) {
        reportFrames();
        std::filesystem::remove_all(folder);
        return 0;
    }

    // -norm on the same material (float input: its level does not matter).
    const char* levels[] = {"0.05", "0.50", "0.80", "0.95", "1.00"};
    std::printf("\n-norm: decoded peak minus level (dB); * encoded again, ! outside 0.3 dB below "
                "to 0.1 dB above the level, or above full scale\n");
    int runs = 0;
    int again = 0;
    int missed = 0;
    int encodes = 0;
    int missedOrdinary = 0; // at 192 kbps and more, on ordinary material
    std::map<std::string, int> againPerMaterial;
    for (const auto& [material, input] : inputs) {
        for (const char* level : levels) {
            std::printf("%-20s %s", material.name, level);
            for (const Encoder& e : encoders) {
                const auto log = folder / "o.log";
                if (run(besweetLine(besweet, input, outputFor(e), e, level, log)) != 0) {
                    std::printf(" %9s", "failed");
                    continue;
                }
                const double peak = decodedPeak(outputFor(e));
                const double away = 20 * std::log10(peak / std::stod(level));
                const int encodedAgain = countOf(readText(log), "encoding again");
                const bool miss = away < -0.3 || away > 0.1 || peak > 1.0;
                ++runs;
                encodes += 1 + encodedAgain;
                missedOrdinary +=
                    miss && material.ordinary && std::stoi(e.section[e.section.size() - 2]) >= 192;
                again += encodedAgain > 0;
                againPerMaterial[material.name] += encodedAgain > 0;
                missed += miss;
                std::printf(" %6.2f%s%s%s", away, encodedAgain ? "*" : " ", miss ? "!" : " ",
                            frameMark(outputFor(e)));
            }
            std::printf("\n");
        }
    }
    std::printf("\n%d runs: %d encodes (%.2f a run), %d encoded again (%.0f %%), %d outside the "
                "window or above full scale (%d on ordinary material at 192 kbps or more)\n",
                runs, encodes, static_cast<double>(encodes) / std::max(runs, 1), again,
                100.0 * again / std::max(runs, 1), missed, missedOrdinary);
    for (const auto& [name, count] : againPerMaterial)
        if (count)
            std::printf("  encoded again: %-20s %d\n", name.c_str(), count);
    reportFrames();
    std::filesystem::remove_all(folder);
    return 0;
}
