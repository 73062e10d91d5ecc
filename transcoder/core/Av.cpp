// SPDX-License-Identifier: GPL-3.0-or-later
// Error texts and allocation helpers shared by every step of the pipeline.
#include "core/Av.h"

#include "core/Describe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace besweet
{

namespace
{

// The last error FFmpeg logged on this thread, until a failure takes it for the log.
thread_local std::string t_libraryError;

// Codes that say nothing a user can act on: the library's own message (in the log) says more.
bool saysNothing(int code)
{
    char description[AV_ERROR_MAX_STRING_SIZE] = {};
    return code == AVERROR(EINVAL) || code == AVERROR_BUG || code == AVERROR_BUG2 ||
           code == AVERROR_EXTERNAL || av_strerror(code, description, sizeof description) < 0;
}

// Codes that mean the input is not audio this program knows.
constexpr std::array unrecognised{AVERROR_DEMUXER_NOT_FOUND, AVERROR_DECODER_NOT_FOUND,
                                  AVERROR_STREAM_NOT_FOUND, AVERROR_PROTOCOL_NOT_FOUND,
                                  AVERROR_OPTION_NOT_FOUND};
// Codes that mean the data itself is broken.
constexpr std::array damaged{AVERROR_INVALIDDATA};
// Codes that mean this FFmpeg cannot do what the file asks for.
constexpr std::array unsupported{AVERROR_PATCHWELCOME,     AVERROR_ENCODER_NOT_FOUND,
                                 AVERROR_FILTER_NOT_FOUND, AVERROR_MUXER_NOT_FOUND,
                                 AVERROR_BSF_NOT_FOUND,    AVERROR(ENOSYS)};

bool among(int code, const auto& codes)
{
    return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
}

Text plainReason(int code)
{
    if (among(code, unrecognised))
        return text("no audio data recognised");
    if (among(code, damaged))
        return text("damaged data");
    if (code == AVERROR_EOF)
        return text("the data ends too early");
    if (among(code, unsupported))
        return text("a feature this program cannot handle");
    // FFmpeg passes the C library's error numbers on (AVERROR(EIO), AVERROR(ENOSPC), ...); its
    // own tags (AVERROR_BUG, AVERROR_EXTERNAL, ...) are negative four-letter codes far below them.
    if (code < 0 && -code < 4096 && !saysNothing(code))
        return systemReason(-code);
    // Where the code says nothing, the library's last complaint may: the one a user can act on.
    if (t_libraryError.find("Bit allocation failed") != std::string::npos)
        return text("the bitrate is too low for this audio: choose a higher one");
    return text("an internal error of the audio library");
}

} // namespace

std::string avErrorText(int code)
{
    char description[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, description, sizeof description) < 0)
        return "the audio library's code " + std::to_string(code) + ", which it does not explain";
    return description;
}

Text avReason(int code)
{
    Text reason = plainReason(code);
    const bool libraryKnowsMore = saysNothing(code) && !t_libraryError.empty();
    reason.english += " (" + (libraryKnowsMore ? t_libraryError : avErrorText(code)) + ")";
    t_libraryError.clear();
    return reason;
}

Text headerReason(int code)
{
    if (!saysNothing(code))
        return avReason(code);
    Text reason = text("damaged header");
    reason.english += " (" + (t_libraryError.empty() ? avErrorText(code) : t_libraryError) + ")";
    t_libraryError.clear();
    return reason;
}

Text damagedDataAt(double seconds)
{
    return text("damaged data at %s", clockTime(seconds));
}

int check(int code, const Text& what)
{
    if (code < 0)
        throw WorkError(text("%s: %s", what, avReason(code)));
    return code;
}

void noteLibraryError(std::string_view message)
{
    t_libraryError = message;
    while (!t_libraryError.empty() &&
           (t_libraryError.back() == '\n' || t_libraryError.back() == '.'))
        t_libraryError.pop_back();
}

FramePtr makeFrame()
{
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw WorkError(text("out of memory"));
    return frame;
}

PacketPtr makePacket()
{
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw WorkError(text("out of memory"));
    return packet;
}

} // namespace besweet
