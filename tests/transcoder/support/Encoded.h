// SPDX-License-Identifier: GPL-3.0-or-later
// Compressed test inputs made with libavcodec: a tone as AC3, MPEG audio or FLAC in any channel
// count and bitrate, for the inputs besweet itself never writes (5.1, MP3, a changing layout).
#pragma once

#include "support/AudioFiles.h"

#include <filesystem>
#include <string>

namespace besweet::test
{

// The bytes of the tone encoded by encoder ("ac3", "mp2", "libmp3lame", "flac") in its raw
// format (no container): such files can be joined with cat. kbps 0 leaves the encoder's own.
std::string encodedBytes(const Tone& tone, const std::string& encoder, int kbps);

// The tone encoded by encoder into a file of the muxer's format ("wav", "w64", "aiff", "caf",
// "matroska", "mpegts"), written as to a file, sizes filled in at the end; muxerOptions as
// "rf64=always"; kbps 0 leaves the encoder's own.
void writeEncoded(const std::filesystem::path& path, const Tone& tone, const std::string& encoder,
                  const std::string& muxer, const std::string& muxerOptions = "", int kbps = 0);

} // namespace besweet::test
