// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder overshoot benchmark's materials, generated from fixed seeds so that every run and
// every build reads the same inputs.
#include "overshoot_materials.h"

#include "level/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>

namespace overshoot
{

namespace
{

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

} // namespace

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

int writeMaterials(const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder);
    int index = 0;
    for (const Material& material : materials())
        writeFloatWav(folder / materialName(index++), atHalfTruePeak(material));
    return 0;
}

} // namespace overshoot
