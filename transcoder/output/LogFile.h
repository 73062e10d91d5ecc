// SPDX-License-Identifier: GPL-3.0-or-later
// The optional text log of a run (-logfile). It is written as the run goes into a temporary file
// beside its name and put in place when the run ends, however it ends: two runs sharing one log
// name never mix their lines, and a symbolic link in the log's place is replaced, never written
// through. Lines may come from any thread.
#pragma once

#include "cli/RunLog.h"
#include "output/TemporaryFile.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace besweet
{

class LogFile final : public RunLog
{
public:
    LogFile() = default;

    // Starts the log for path; false when it cannot be written (problem() says why).
    [[nodiscard]] bool open(const std::string& path);
    void line(std::string_view text) override;
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
    std::string path_;
    std::optional<TemporaryFile> file_;
    std::optional<Text> problem_;
    bool keptPrevious_ = false;
    bool inPlace_ = false;
    std::mutex mutex_;
};

} // namespace besweet
