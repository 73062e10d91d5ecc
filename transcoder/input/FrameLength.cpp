// SPDX-License-Identifier: GPL-3.0-or-later
// The header tables of MPEG audio (ISO 11172-3, 13818-3); AC3 (ATSC A/52) headers are read by
// libavcodec.
#include "input/FrameLength.h"

#include "core/Bitrates.h"

#include <algorithm>
#include <array>

extern "C" {
#include <libavcodec/ac3_parser.h>
#include <libavcodec/avcodec.h>
}

namespace besweet
{

namespace
{

// kbps by bitrate index 1..14: MPEG-1 layers I, II, III; MPEG-2/2.5 layer I, layers II and III.
constexpr std::array<std::array<int, 14>, 5> mpegBitrates{{
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    LayerIIKbps,
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
}};
// Hz by version (MPEG-2.5, reserved, MPEG-2, MPEG-1) and rate index.
constexpr std::array<std::array<int, 3>, 4> mpegRates{{
    {11025, 12000, 8000},
    {0, 0, 0},
    {22050, 24000, 16000},
    {44100, 48000, 32000},
}};

std::optional<std::size_t> mpegFrameLength(const std::uint8_t* h, std::size_t size)
{
    if (size < 4 || h[0] != 0xff || (h[1] & 0xe0) != 0xe0)
        return std::nullopt;
    const int version = (h[1] >> 3) & 3;     // 0: 2.5, 2: 2, 3: 1
    const int layer = 4 - ((h[1] >> 1) & 3); // 1, 2, 3 (4: reserved)
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const long bitrate =
        mpegBitrates[static_cast<std::size_t>(table)][static_cast<std::size_t>(bitrateIndex - 1)] *
        1000L;
    const long rate =
        mpegRates[static_cast<std::size_t>(version)][static_cast<std::size_t>(rateIndex)];
    if (layer == 1)
        return static_cast<std::size_t>((12 * bitrate / rate + padding) * 4);
    const long perFrame = layer == 3 && !mpeg1 ? 72 : 144;
    return static_cast<std::size_t>(perFrame * bitrate / rate + padding);
}

// libavcodec's own header parser; the header is copied into a buffer with room after it, as
// the bit reader needs.
std::optional<std::size_t> ac3FrameLength(const std::uint8_t* h, std::size_t size)
{
    constexpr std::size_t headerBytes = 16;
    if (size < 6 || h[0] != 0x0b || h[1] != 0x77)
        return std::nullopt;
    std::array<std::uint8_t, headerBytes + AV_INPUT_BUFFER_PADDING_SIZE> header{};
    std::copy_n(h, std::min(size, headerBytes), header.begin());
    std::uint8_t bitstreamId = 0;
    std::uint16_t frameSize = 0;
    if (av_ac3_parse_header(header.data(), headerBytes, &bitstreamId, &frameSize) < 0)
        return std::nullopt;
    return frameSize;
}

} // namespace

bool hasFrameLengthInHeader(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_AC3:
    case AV_CODEC_ID_EAC3:
        return true;
    default:
        return false;
    }
}

std::optional<std::size_t> frameLength(AVCodecID codec, const std::uint8_t* data, std::size_t size)
{
    switch (codec) {
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
        return mpegFrameLength(data, size);
    case AV_CODEC_ID_AC3:
    case AV_CODEC_ID_EAC3:
        return ac3FrameLength(data, size);
    default:
        return std::nullopt;
    }
}

bool startsFrame(AVCodecID codec, const std::uint8_t* data, std::size_t size)
{
    if (codec == AV_CODEC_ID_AC3 || codec == AV_CODEC_ID_EAC3)
        return size > 0 && data[0] == 0x0b && (size == 1 || data[1] == 0x77);
    return size > 0 && data[0] == 0xff && (size == 1 || (data[1] & 0xe0) == 0xe0);
}

} // namespace besweet
