// The input stage: opens the input (refusing what is no audio file or is cut short), logs what
// it holds, and reads it packet by packet, the one loop both passes use, or decodes it frame by
// frame.
#pragma once

#include "Av.h"
#include "Options.h"
#include "Progress.h"
#include "RunLog.h"

#include <cstdint>
#include <functional>
#include <string>

namespace besweet
{

struct Input {
    std::string path;
    InputFormatPtr format;
    AVStream* stream = nullptr;
    CodecContextPtr decoder;
    std::int64_t bytes = 0; // file size, for progress
};

[[nodiscard]] Input openInput(const Options& options);
void logInput(const Input& input, RunLog& log);

// "12.34 s": how far into the input so many sample frames reach.
[[nodiscard]] std::string positionText(const Input& input, std::int64_t samples);
// Throws when a pass found no samples at all.
void checkNotEmpty(const Input& input, std::int64_t samples);

using OnPacket = std::function<void(const AVPacket&)>;
using OnFrame = std::function<void(const AVFrame&)>;

// Hands on every packet of the audio stream, in order, with progress; throws when the input
// cannot be read or ends in an incomplete frame, and Interrupted on a signal.
void readPackets(Input& input, Progress& progress, const OnPacket& onPacket);

// Reads every packet, decodes it and hands each frame on; the decoder is flushed with an empty
// packet at the end. Returns the number of sample frames decoded. Stops early once limit sample
// frames are decoded (0: no limit).
std::int64_t decodeAll(Input& input, Progress& progress, const OnFrame& onFrame,
                       std::int64_t limit = 0);

} // namespace besweet
