// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder overshoot benchmark's materials: music-like, speech-like and test signals of four
// seconds in stereo at 48 kHz, each scaled to a true peak of 0.5 and written as float WAV.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace overshoot
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

// Every material, in the tables' order.
std::vector<Material> materials();
// The material's samples (interleaved stereo), scaled to a true peak of 0.5.
std::vector<double> atHalfTruePeak(const Material& material);
void writeFloatWav(const std::filesystem::path& path, const std::vector<double>& samples);
// "in3.wav": the file of the material at that place.
std::string materialName(int index);
// --materials DIR: only the inputs, as the tables use them, for comparing two builds' outputs
// (bench/same_outputs.sh).
int writeMaterials(const std::filesystem::path& folder);

} // namespace overshoot
