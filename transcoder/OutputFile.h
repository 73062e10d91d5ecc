// The output under construction: a temporary file in the target's folder, renamed over the
// target only once it is complete and on disk; removed when the run ends any other way, so an
// existing target is never left half-written.
#pragma once

#include "Av.h"

#include <string>

namespace besweet
{

class OutputFile
{
public:
    // Creates the temporary file beside target. Throws WorkError when that is not possible.
    explicit OutputFile(std::string target);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // An FFmpeg I/O context writing (and seeking, for the WAV header) into the temporary file.
    [[nodiscard]] IoContextPtr makeIoContext();

    // Flushes the file to disk and renames it over the target, unless a signal came first
    // (throws Interrupted).
    void commit();

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

} // namespace besweet
