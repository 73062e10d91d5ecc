// SPDX-License-Identifier: GPL-3.0-or-later
// The options of one transcode run, gathered from the window when "Transcode" is pressed,
// and their rendering into the transcoder's command line.
#pragma once

#include <string>
#include <vector>

namespace klangdorn
{

struct TranscodeJob {
    std::string BesweetPath;
    std::string InputFile;  // unchanged text of txtInputFile
    std::string OutputFile; // unchanged text of txtOutputFile
    bool WriteLog = false;
    int Normalize = 95; // 0..100, the slider's position
    bool InputRAWPCM = false;
    int InputSamplerate = -1; // list positions, -1 when nothing is selected
    bool Resample = false;
    int OutputChannelmode = -1;
    int OutputBitrate = -1;
    std::string OutputType = "ac3";
    bool ShowBesweet = false;
};

// The level as the transcoder reads it: "0.95" for 95, always with a point.
std::string LevelText(int normalize);

// The line as a list of arguments: the program path, then "-core(", "-input", the path, ...
// ")". Paths stay whole. Throws RuntimeError 9 when a list position lies outside its table
// (tested in the order sample rate (only with RAW PCM), channel mode, bitrate).
std::vector<std::string> BuildArguments(const TranscodeJob& job);

// The whole command line of the job: the arguments joined by single blanks, where a path
// with a blank or a tab is enclosed in double quotes.
std::string BuildCommandLine(const TranscodeJob& job);

// The log the transcoder writes beside the target when asked: the target's name with ".log".
std::string LogFileOf(const std::string& target);

} // namespace klangdorn
