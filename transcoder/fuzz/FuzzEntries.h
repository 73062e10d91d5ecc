// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzz targets' entry points, shared by the libFuzzer programs and the ordinary test suite,
// which feeds the seeds and every input that once crashed through the same functions.
#pragma once

#include <cstdint>
#include <span>

namespace besweet::fuzz
{

// The whole input path: the first two bytes choose the kind of input (WAV, MPEG audio, AC3, raw
// PCM, or by the top three bits of the second byte a name of TS, VOB, MKV, MP4, CAF, AAC, DTS),
// the output format and the options; the rest is the input file. Decodes, mixes, resamples,
// normalises and encodes the first second. A refusal (WorkError) is a fine outcome; a crash, a
// sanitizer report, any other exception, or a track whose length differs from a plain decode of
// the input by more than its warnings account for is a fault.
void runInput(std::span<const std::uint8_t> data);

// The command-line parser: one argument per line. Checks that whatever it accepts is a run
// besweet can do.
void runCommandLine(std::span<const std::uint8_t> data);

} // namespace besweet::fuzz
