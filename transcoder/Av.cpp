// SPDX-License-Identifier: GPL-3.0-or-later
// Error text and allocation helpers shared by every step of the pipeline.
#include "Av.h"

namespace besweet
{

namespace
{

// The last error FFmpeg logged on this thread, until a failure takes it as its reason.
thread_local std::string t_libraryError;

// Codes that say nothing a user can act on: the library's own message says more.
bool saysNothing(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    return code == AVERROR(EINVAL) || code == AVERROR_BUG || code == AVERROR_BUG2 ||
           code == AVERROR_EXTERNAL || av_strerror(code, text, sizeof text) < 0;
}

} // namespace

std::string avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0)
        return "data FFmpeg cannot make sense of (its code " + std::to_string(code) +
               "); the file is damaged or of a kind this program cannot read";
    return text;
}

void noteLibraryError(std::string_view message)
{
    t_libraryError = message;
    while (!t_libraryError.empty() &&
           (t_libraryError.back() == '\n' || t_libraryError.back() == '.'))
        t_libraryError.pop_back();
}

std::string failureReason(int code)
{
    std::string reason =
        saysNothing(code) && !t_libraryError.empty() ? t_libraryError : avErrorText(code);
    t_libraryError.clear();
    return reason;
}

int check(int code, const std::string& what)
{
    if (code < 0)
        throw WorkError(what + ": " + failureReason(code));
    return code;
}

FramePtr makeFrame()
{
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw WorkError("out of memory (frame)");
    return frame;
}

PacketPtr makePacket()
{
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw WorkError("out of memory (packet)");
    return packet;
}

} // namespace besweet
