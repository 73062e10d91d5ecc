// SPDX-License-Identifier: GPL-3.0-or-later
// The input stage: opens the input (refusing what is no audio file or is cut short), logs what
// it holds, and reads it packet by packet, the one loop both passes use, or decodes it frame by
// frame.
#pragma once

#include "cli/Options.h"
#include "cli/Progress.h"
#include "cli/RunLog.h"
#include "core/Av.h"
#include "input/ContainerLength.h"
#include "input/PipeRead.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace besweet
{

struct Input {
    Input() = default;
    Input(Input&&) = default;
    // Not assigned: the old format would outlive the reader it reads through.
    Input& operator=(Input&&) = delete;

    std::string path;
    // A RIFF WAV over 4 GiB, read to the end of the file; before format, which reads through it.
    std::optional<OversizedWav> oversized;
    std::unique_ptr<WavReadToTheEnd> wholeWav;
    // A pipe, FIFO or device, read through a reader that notes what arrived; before format too.
    std::unique_ptr<PipeRead> pipe;
    InputFormatPtr format;
    AVStream* stream = nullptr;
    CodecContextPtr decoder;
    std::int64_t bytes = 0;       // file size, for progress
    bool raw = false;             // read as headerless PCM
    std::string knownDespiteRaw;  // raw PCM was asked for, but the file is of this known format
    std::int64_t partialTail = 0; // bytes at the end too few for a whole sample frame, dropped
    std::vector<std::string> audioStreams; // each audio stream, when there are several
    int audioNumber = 0;                   // which of the audio streams is read, counted from 1
    int mostChannels = 0;  // the most channels a part of the input holds (0: not known)
    bool unmasked = false; // no channel positions given: guessed from the count
};

// The input ends inside a frame or short of what its header declares: cut, or still being
// written by a recorder the read caught up with.
class CutShort : public WorkError
{
public:
    using WorkError::WorkError;
};

[[nodiscard]] Input openInput(const Options& options);
void logInput(const Input& input, RunLog& log);

// Throws when the input cannot be read a second time (a pipe): before anything is read from it.
void checkReadableTwice(const std::string& path);

// "12.34 s": how far into the input so many sample frames reach.
[[nodiscard]] std::string positionText(const Input& input, std::int64_t samples);
// Throws when a pass found no samples at all.
void checkNotEmpty(const Input& input, std::int64_t samples);

// A reader that says "try again" on a file has skipped something and goes on; one that says it
// again and again without getting further would never end.
class ReadStalls
{
public:
    bool tryAgain(std::int64_t position)
    {
        stalls_ = position == position_ ? stalls_ + 1 : 0;
        position_ = position;
        return stalls_ < mostStalls;
    }

private:
    static constexpr int mostStalls = 100;
    std::int64_t position_ = -1;
    int stalls_ = 0;
};

using OnPacket = std::function<void(const AVPacket&)>;
using OnFrame = std::function<void(const AVFrame&)>;

// Hands on every packet of the audio stream, in order, with progress; throws when the input
// cannot be read, CutShort when it ends in an incomplete frame or (a pipe) short of the length
// its header declares, and Interrupted on a signal.
void readPackets(Input& input, Progress& progress, const OnPacket& onPacket);

// Reads every packet, decodes it and hands each frame on; the decoder is flushed with an empty
// packet at the end. Returns the number of sample frames decoded. A change of the channels or
// the rate between frames is handed on as it comes, and noted in changes when given. Stops early
// once limit sample frames are decoded (0: no limit).
std::int64_t decodeAll(Input& input, Progress& progress, const OnFrame& onFrame,
                       RunLog* changes = nullptr, std::int64_t limit = 0);

// The sample rates a recording can have; anything else is a damaged header.
constexpr int LowestRate = 8000;
constexpr int HighestRate = 384000;

} // namespace besweet
