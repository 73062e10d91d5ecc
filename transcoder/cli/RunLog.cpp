// SPDX-License-Identifier: GPL-3.0-or-later
// The run's warnings, and FFmpeg's messages routed into its log.
#include "cli/RunLog.h"

#include "common/WarningLine.h"
#include "core/Av.h"

#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>

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
