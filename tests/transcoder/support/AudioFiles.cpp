// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the generated test inputs.
#include "support/AudioFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace besweet::test
{

namespace
{

void put16(std::string& out, std::uint16_t value)
{
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>(value >> 8);
}

void put32(std::string& out, std::uint32_t value)
{
    put16(out, static_cast<std::uint16_t>(value & 0xffff));
    put16(out, static_cast<std::uint16_t>(value >> 16));
}

void putSample(std::string& out, double value, SampleType type)
{
    value = std::clamp(value, -1.0, 1.0);
    switch (type) {
    case SampleType::S16:
        put16(out, static_cast<std::uint16_t>(
                       static_cast<std::int16_t>(std::lround(std::min(value * 32768.0, 32767.0)))));
        break;
    case SampleType::S24: {
        const auto v =
            static_cast<std::int32_t>(std::lround(std::min(value * 8388608.0, 8388607.0)));
        out += static_cast<char>(v & 0xff);
        out += static_cast<char>((v >> 8) & 0xff);
        out += static_cast<char>((v >> 16) & 0xff);
        break;
    }
    case SampleType::F32: {
        const float f = static_cast<float>(value);
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        put32(out, bits);
        break;
    }
    }
}

int bytesOf(SampleType type)
{
    return type == SampleType::S16 ? 2 : type == SampleType::S24 ? 3 : 4;
}

} // namespace

std::vector<double> toneSamples(const Tone& tone)
{
    const auto frames = static_cast<std::size_t>(std::lround(tone.seconds * tone.rate));
    std::vector<double> samples;
    samples.reserve(frames * static_cast<std::size_t>(tone.channels));
    for (std::size_t f = 0; f < frames; ++f) {
        const double phase = 2.0 * M_PI * tone.frequency * static_cast<double>(f) / tone.rate +
                             tone.phaseDegrees * M_PI / 180.0;
        for (int c = 0; c < tone.channels; ++c) {
            const auto index = std::min(static_cast<std::size_t>(c), tone.amplitudes.size() - 1);
            samples.push_back(tone.amplitudes[index] * std::sin(phase));
        }
    }
    return samples;
}

std::string wavBytes(const Tone& tone)
{
    return wavBytes(toneSamples(tone), tone);
}

std::string wavBytes(const std::vector<double>& samples, const Tone& tone)
{
    const int bytes = bytesOf(tone.type);
    std::string data;
    data.reserve(samples.size() * static_cast<std::size_t>(bytes));
    for (const double s : samples)
        putSample(data, s, tone.type);

    std::string out = "RIFF";
    put32(out, static_cast<std::uint32_t>(36 + data.size()));
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, tone.type == SampleType::F32 ? 3 : 1);
    put16(out, static_cast<std::uint16_t>(tone.channels));
    put32(out, static_cast<std::uint32_t>(tone.rate));
    put32(out, static_cast<std::uint32_t>(tone.rate * tone.channels * bytes));
    put16(out, static_cast<std::uint16_t>(tone.channels * bytes));
    put16(out, static_cast<std::uint16_t>(bytes * 8));
    out += "data";
    put32(out, static_cast<std::uint32_t>(data.size()));
    return out + data;
}

void writeWav(const std::filesystem::path& path, const Tone& tone)
{
    writeBytes(path, wavBytes(tone));
}

void writeRawPcm(const std::filesystem::path& path, const Tone& tone)
{
    std::string data;
    for (const double s : toneSamples(tone))
        putSample(data, s, SampleType::S16);
    writeBytes(path, data);
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ScratchFolder::ScratchFolder(const std::filesystem::path& base)
{
    std::string pattern =
        ((base.empty() ? std::filesystem::temp_directory_path() : base) / "besweet-test-XXXXXX")
            .string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchFolder::names() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace besweet::test
