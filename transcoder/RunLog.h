// The optional text log of a run (-logfile): each line is written and flushed at once, so
// the log tells how far a failed or interrupted run got. Lines may come from either thread.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace besweet
{

class RunLog
{
public:
    RunLog() = default;

    // Starts the log at path (replacing an older one); returns false when it cannot be written.
    [[nodiscard]] bool open(const std::string& path);
    void line(std::string_view text);

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::mutex mutex_;
};

} // namespace besweet
