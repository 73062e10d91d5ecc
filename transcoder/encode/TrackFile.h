// SPDX-License-Identifier: GPL-3.0-or-later
// Where the encode stage writes its track: a file it writes through FFmpeg, may change once
// written, and has put in place of the target when the track is whole (output/OutputFile).
#pragma once

#include "core/Av.h"

#include <functional>
#include <memory>
#include <string>

namespace besweet
{

class TrackFile
{
public:
    TrackFile() = default;
    TrackFile(const TrackFile&) = delete;
    TrackFile& operator=(const TrackFile&) = delete;
    virtual ~TrackFile() = default;

    // An FFmpeg I/O context writing (and seeking, for the WAV header) into the file.
    [[nodiscard]] virtual IoContextPtr makeIoContext() = 0;
    // The file, open for reading and writing, to read back or change what was written.
    [[nodiscard]] virtual int descriptor() const = 0;
    // Puts the whole track in place of the target.
    virtual void commit() = 0;
};

// Opens the file the track for target is written into; throws WorkError when it cannot.
using OpenTrackFile = std::function<std::unique_ptr<TrackFile>(const std::string& target)>;

} // namespace besweet
