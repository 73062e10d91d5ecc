// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz target checks of a finished run: the track is as long as a plain decode of the
// input, give or take what the warnings account for.
#pragma once

#include "cli/Options.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace besweet::fuzz
{

// Seconds a plain libavcodec decode of the stream besweet takes gives, as a player hears it:
// every frame the decoder gives, damaged packets passed over, up to and with the frame that
// reaches limit sample frames (0: no limit).
[[nodiscard]] double plainDecodeSeconds(const Options& options, std::int64_t limit);

// Seconds of audio the track at path (.mpa, .ac3 or .wav) decodes to; nothing when it cannot be
// decoded.
[[nodiscard]] std::optional<double> decodedSeconds(const std::filesystem::path& path);

// The seconds the warnings in a run's log account for: every "N.NN s" a warning line names, and
// for each run of damaged data skipped, one frame: besweet decodes a frame that damage follows
// within its packet, where a plain decode drops the packet whole.
[[nodiscard]] double warnedSeconds(const std::string& log);

// How far the output may differ from a plain decode without a word: the encoders' frames and
// start-up at either end.
constexpr double UnwarnedSeconds = 0.15;

// The longest frame of the framed formats: AC3's 1536 samples at 32 kHz.
constexpr double LongestFrameSeconds = 0.048;

// A description of the finding, or nothing when the output's length is what it should be.
[[nodiscard]] std::optional<std::string> lengthFinding(double plain, double output, double warned);

} // namespace besweet::fuzz
