// SPDX-License-Identifier: GPL-3.0-or-later
// Containers with time stamps (TS, Matroska, MP4) made from raw AC3 or MPEG audio, with streams
// that start late and time lines with holes or overlaps.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace besweet::test
{

struct MuxedStream {
    std::string raw;             // a raw AC3 or MPEG audio file's bytes (see encodedBytes)
    double start = 0.0;          // the first frame's time stamp, in seconds
    double jumpAfter = 0.0;      // from the first frame at or after this many seconds of audio on,
    double jumpBy = 0.0;         // the time stamps are later by this (earlier when negative)
    bool flaggedDefault = false; // marked as the default stream
    std::string language = {};   // tags, when not empty
    std::string title = {};
};

// Writes the streams into one file of the muxer ("mpegts", "matroska", "mp4", "mpeg").
void writeMuxed(const std::filesystem::path& path, const std::string& muxer,
                const std::vector<MuxedStream>& streams);

// Moves the time stamp of one audio PES of a TS file by seconds: the one at this fraction of
// them (0: the first).
void movePesStamp(const std::filesystem::path& path, double fraction, double seconds);

} // namespace besweet::test
