// SPDX-License-Identifier: GPL-3.0-or-later
// The run log and FFmpeg's messages in it.
#include "output/RunLog.h"

#include "common/WarningLine.h"
#include "core/Av.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace besweet
{

namespace
{

std::atomic<RunLog*> g_libraryLog{nullptr};

extern "C" void logLibraryMessage(void* context, int level, const char* format, va_list args)
{
    if (level <= AV_LOG_ERROR) {
        char message[512];
        va_list copy;
        va_copy(copy, args);
        std::vsnprintf(message, sizeof message, format, copy);
        va_end(copy);
        noteLibraryError(message);
    }
    RunLog* log = g_libraryLog.load();
    if (level > AV_LOG_WARNING || !log)
        return;
    char text[1024];
    int prefix = 1;
    av_log_format_line2(context, level, format, args, text, sizeof text, &prefix);
    log->line(libraryLine(text));
}

} // namespace

bool RunLog::open(const std::string& path)
{
    const std::lock_guard lock(mutex_);
    path_ = path;
    if (auto tooLong = whyPathTooLong(path)) {
        problem_ = tooLong;
        return false;
    }
    try {
        file_.emplace(path, 0666);
        file_->takeOverPermissionsOf(path);
    } catch (const std::system_error& error) {
        problem_ = reasonOf(error);
        return false;
    }
    return true;
}

void RunLog::line(std::string_view words)
{
    const std::lock_guard lock(mutex_);
    if (!file_ || problem_)
        return;
    std::string whole(words);
    whole += '\n';
    if (!writeAll(file_->fd(), whole.data(), whole.size()))
        problem_ = text("cannot write: %s", systemReason(errno));
}

std::optional<Text> RunLog::close()
{
    const std::lock_guard lock(mutex_);
    if (!file_)
        return std::nullopt;
    struct stat written {
    };
    const bool empty = ::fstat(file_->fd(), &written) == 0 && written.st_size == 0;
    try {
        file_->syncAndClose();
    } catch (const std::system_error& error) {
        if (!problem_)
            problem_ = reasonOf(error);
    }
    // A log not written whole (a full disk) does not replace one that was.
    struct stat previous {
    };
    keptPrevious_ = problem_ && ::lstat(path_.c_str(), &previous) == 0;
    try {
        // An empty log (a disk full from the start) is no log: none is left.
        if (!keptPrevious_ && !(problem_ && empty)) {
            file_->putInPlace();
            inPlace_ = true;
        }
    } catch (const std::system_error& error) {
        if (!problem_)
            problem_ = reasonOf(error);
    }
    file_.reset();
    return problem_;
}

void sendLibraryMessagesTo(RunLog* log)
{
    g_libraryLog.store(log);
    av_log_set_callback(log ? logLibraryMessage : av_log_default_callback);
}

std::string libraryLine(std::string_view formatted)
{
    std::string line = "ffmpeg: ";
    for (std::size_t i = 0; i < formatted.size(); ++i) {
        // "[mp3float @ 0x55d0c8a3b2c0] ..." -> "[mp3float] ..."
        if (formatted.substr(i).starts_with(" @ 0x")) {
            std::size_t end = i + 5;
            while (end < formatted.size() &&
                   std::isxdigit(static_cast<unsigned char>(formatted[end])))
                ++end;
            if (end > i + 5) {
                i = end - 1;
                continue;
            }
        }
        line += formatted[i];
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

void warn(RunLog& log, const Text& warning)
{
    log.line("warning: " + warning.english);
    std::fprintf(stderr, "%.*s%s\n", static_cast<int>(klangdorn::WarningPrefix.size()),
                 klangdorn::WarningPrefix.data(), warning.local.c_str());
}

} // namespace besweet
