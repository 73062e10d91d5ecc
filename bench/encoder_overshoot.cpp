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
#include "overshoot_materials.h"
#include "overshoot_measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

using namespace overshoot;

namespace
{

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
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
