// SPDX-License-Identifier: GPL-3.0-or-later
// The optional text log of a run (-logfile). It is written as the run goes into a temporary file
// beside its name and put in place when the run ends, however it ends: two runs sharing one log
// name never mix their lines, and a symbolic link in the log's place is replaced, never written
// through. Lines may come from any thread.
#pragma once

#include "output/TemporaryFile.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace besweet
{

class RunLog
{
public:
    RunLog() = default;

    // Starts the log for path; false when it cannot be written (problem() says why).
    [[nodiscard]] bool open(const std::string& path);
    void line(std::string_view text);
    // Puts the log in place; returns what went wrong with it since it was opened, if anything
    // (a full disk). A log not written whole is put in place only where no log was before,
    // and never when nothing of it could be written.
    [[nodiscard]] std::optional<Text> close();
    // True when close() kept the log that was there before, as the new one was incomplete.
    [[nodiscard]] bool keptPrevious() const { return keptPrevious_; }
    [[nodiscard]] Text problem() const { return problem_.value_or(Text{}); }
    // True once close() has put the log in place.
    [[nodiscard]] bool inPlace() const { return inPlace_; }

private:
    void fail(const std::string& what);

    std::string path_;
    std::optional<TemporaryFile> file_;
    std::optional<Text> problem_;
    bool keptPrevious_ = false;
    bool inPlace_ = false;
    std::mutex mutex_;
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
