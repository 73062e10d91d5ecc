// SPDX-License-Identifier: GPL-3.0-or-later
// Error text and allocation helpers shared by every step of the pipeline.
#include "Av.h"

namespace besweet
{

std::string avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int check(int code, const std::string& what)
{
    if (code < 0)
        throw WorkError(what + ": " + avErrorText(code));
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
