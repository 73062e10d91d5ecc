// SPDX-License-Identifier: GPL-3.0-or-later
// Test inputs made on the spot: sine and silence as WAV (16/24-bit, float) or headerless PCM,
// and a scratch folder that removes itself.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace besweet::test
{

enum class SampleType { S16, S24, F32 };

struct Tone {
    int rate = 44100;
    int channels = 2;
    double seconds = 2.5;
    // Peak amplitude per channel (0 is silence), 1.0 full scale; missing channels repeat the last.
    std::vector<double> amplitudes{0.5};
    double frequency = 440.0;
    double phaseDegrees = 0.0; // of the first sample
    SampleType type = SampleType::S16;
};

// Interleaved samples of the tone, full scale 1.0.
std::vector<double> toneSamples(const Tone& tone);

void writeWav(const std::filesystem::path& path, const Tone& tone);
// Signed 16-bit little-endian interleaved, no header.
void writeRawPcm(const std::filesystem::path& path, const Tone& tone);
void writeBytes(const std::filesystem::path& path, const std::string& bytes);
std::string readBytes(const std::filesystem::path& path);

// The bytes of a WAV file for the tone, header first.
std::string wavBytes(const Tone& tone);
// The same for other interleaved samples (full scale 1.0) in the tone's rate, channels and type.
std::string wavBytes(const std::vector<double>& samples, const Tone& tone);

class ScratchFolder
{
public:
    // In the system's temporary folder, or in base.
    explicit ScratchFolder(const std::filesystem::path& base = {});
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const
    {
        return path_ / name;
    }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    // The names in the folder, sorted; hidden ones (temporary outputs) included.
    [[nodiscard]] std::vector<std::string> names() const;

private:
    std::filesystem::path path_;
};

} // namespace besweet::test
