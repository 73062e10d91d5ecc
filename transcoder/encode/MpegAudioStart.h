// SPDX-License-Identifier: GPL-3.0-or-later
// Where FFmpeg's MPEG audio reader (and so ffprobe, and every muxer fed by it) starts a raw
// Layer II track: at the first frame whose header agrees with the next frame's in everything
// but the bitrate, padding, checksum flag and mode extension. Frames before it are taken for
// junk and skipped. A joint stereo track whose first frames change between the stereo and the
// joint stereo mode loses them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace besweet
{

// The header bits the two frames must share (sync, version, layer, sample rate, mode,
// copyright, original, emphasis).
inline constexpr std::uint32_t MpegReaderHeaderMask = 0xFFFE0CCF;
// The reader looks no further than this for two agreeing frames.
inline constexpr std::size_t MpegHeadersLookedAt = 64;

// How many frames at the start the reader skips, from the headers (first four bytes, big
// endian) of the track's first frames in order; none when there are fewer than two.
constexpr int framesMpegReaderSkips(std::span<const std::uint32_t> headers)
{
    for (std::size_t i = 0; i + 1 < headers.size(); ++i)
        if ((headers[i] & MpegReaderHeaderMask) == (headers[i + 1] & MpegReaderHeaderMask))
            return static_cast<int>(i);
    return headers.size() < 2 ? 0 : static_cast<int>(headers.size());
}

} // namespace besweet
