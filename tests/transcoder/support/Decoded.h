// SPDX-License-Identifier: GPL-3.0-or-later
// What a written track really holds, found by decoding it with libavformat/libavcodec.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace besweet::test
{

struct Decoded {
    std::string codec; // "ac3", "mp2", "pcm_s16le"
    int rate = 0;
    std::int64_t bitRate = 0;
    int channels = 0;
    std::int64_t samples = 0;       // sample frames decoded
    double peak = 0.0;              // highest absolute sample, 1.0 full scale
    std::vector<float> interleaved; // every sample, full scale 1.0

    [[nodiscard]] double seconds() const { return rate ? static_cast<double>(samples) / rate : 0; }
};

// Which of libavcodec's decoders: its first for the codec, or one giving float samples (Layer II
// as "mp2float"), which shows a peak above full scale instead of clipping it.
enum class DecodeTo { Default, Float };

// Throws std::runtime_error when the file cannot be decoded.
Decoded decodeFile(const std::filesystem::path& path, DecodeTo to = DecodeTo::Default);

// The mode bits of each MPEG audio frame header, in order: 0 stereo, 1 joint, 2 dual, 3 mono.
std::vector<int> layerIIModes(const std::filesystem::path& path);

double toDecibels(double linear);

// Root mean square of one channel between two times, in seconds.
double rmsOf(const Decoded& track, int channel, double from, double to);

// Where in the file each packet (frame) of its audio starts, as the demuxer finds them.
std::vector<std::int64_t> packetPositions(const std::filesystem::path& path);

} // namespace besweet::test
