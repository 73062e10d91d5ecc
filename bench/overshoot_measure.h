// SPDX-License-Identifier: GPL-3.0-or-later
// Running besweet as the encoder overshoot benchmark does, and measuring what it wrote: the
// decoded peak, and the Layer II frames written, read by ffprobe and kept in a DVD mux.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace overshoot
{

struct Encoder {
    const char* name;
    std::vector<std::string> section;
};

// The command line of one run: -norm only when norm is given, a log only when log is.
std::vector<std::string> besweetLine(const std::string& besweet, const std::filesystem::path& in,
                                     const std::filesystem::path& out, const Encoder& encoder,
                                     const std::string& norm, const std::filesystem::path& log);
// Runs the program with its output thrown away; its exit code, -1 when it did not exit.
int run(const std::vector<std::string>& arguments);

std::string readText(const std::filesystem::path& path);
int countOf(const std::string& text, const std::string& what);
std::string quoted(const std::filesystem::path& path);
// Layer II is decoded to float, so a peak above full scale shows.
double decodedPeak(const std::filesystem::path& path);
// Written, read by ffprobe and kept in a DVD mux with video: all the same.
bool framesAllKept(const std::filesystem::path& track, const std::filesystem::path& video);

} // namespace overshoot
