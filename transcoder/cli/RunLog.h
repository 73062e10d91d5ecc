// SPDX-License-Identifier: GPL-3.0-or-later
// The run's log as every stage writes to it, the warnings that go to standard error and into it,
// and FFmpeg's messages routed into it. A plain RunLog keeps nothing (a run without -logfile);
// output/LogFile writes the lines into the log file. Lines may come from any thread.
#pragma once

#include "core/Text.h"

#include <string>
#include <string_view>

namespace besweet
{

class RunLog
{
public:
    RunLog() = default;
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;
    virtual ~RunLog() = default;

    // One line of the log, without its end.
    virtual void line(std::string_view) {}
};

// "besweet: warning: ..." on standard error, translated, and "warning: ..." in the log,
// English. The prefix is never translated: the window looks for it (common/WarningLine.h).
void warn(RunLog& log, const Text& warning);

// FFmpeg's messages of warning level and above go into log (null: nowhere) instead of onto the
// console, where standard error carries one line per failure.
void sendLibraryMessagesTo(RunLog* log);

// One of FFmpeg's messages as a log line: "ffmpeg: [mp3float] Header missing", without the
// memory address FFmpeg puts after the component's name, nor the line end.
[[nodiscard]] std::string libraryLine(std::string_view formatted);

} // namespace besweet
