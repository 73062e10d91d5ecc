// SPDX-License-Identifier: GPL-3.0-or-later
// What one besweet run is asked to do, and the parser that reads it from the command line
// Klangdorn builds (sections such as "-core(" ... ")", each option and value its own argument).
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace besweet
{

enum class Codec { LayerII, Ac3, Wav };

inline constexpr int DialnormNeutral = -31;
inline constexpr int DialnormHighest = -1;

struct Options {
    std::string input;
    std::string output;
    std::string logfile; // empty: no log

    std::optional<double> norm; // peak level in [0, 1]; 0: no normalisation
    bool rawInput = false;      // headerless signed 16-bit little-endian stereo
    int rawRate = 48000;        // its sample rate
    bool resampleTo48k = false;

    Codec codec = Codec::Wav;
    char mode = 'j'; // Layer II: s, j, d or m
    int kbps = 0;    // 0 for WAV
    // Layer II mono asked above the 192 kbps it takes: the bitrate asked (kbps is 192); else 0.
    int monoKbpsAsked = 0;
    // AC3: the dialogue level written in every frame, -31 to -1 dB (-31: players leave the level
    // as it is); empty with -dialnorm auto, where it is the track's measured loudness.
    std::optional<int> dialnorm = DialnormNeutral;

    std::vector<std::string> arguments; // as given, for the log

    // Not from the command line: the fuzz targets stop reading after so many sample frames.
    std::int64_t stopAfterSamples = 0; // 0: read all
    // Where it cannot be told whether a program has the file open for writing: how long it must
    // have been left alone before a read that ends inside a frame is taken as its end rather than
    // as a pause of its writer (recorders write at least every few hundred ms). The fuzz targets
    // take 0.
    std::chrono::milliseconds quietBeforeCutEnd{500};
};

// Reads the arguments (without the program name) into options. Returns nothing when the run
// should go on, else the exit code to end with: 0 after --help or --version (printed to out),
// 2 after a usage error (one line "besweet: ..." on err).
[[nodiscard]] std::optional<int> parseArguments(std::span<const std::string> arguments,
                                                Options& options, std::ostream& out,
                                                std::ostream& err);

} // namespace besweet
