// SPDX-License-Identifier: GPL-3.0-or-later
// How long an MPEG audio (layer I, II, III) or AC3 / E-AC3 frame says it is, read from its
// header: what tells a frame cut off with the file from a whole one, whatever the bitrate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace besweet
{

// True for the codecs frameLength reads.
[[nodiscard]] bool hasFrameLengthInHeader(AVCodecID codec);

// The length in bytes of the frame that starts at data; nothing when the header is not one
// (or leaves the length open, as free-format MPEG audio does). size may be shorter than the
// frame; it must hold the header.
[[nodiscard]] std::optional<std::size_t> frameLength(AVCodecID codec, const std::uint8_t* data,
                                                     std::size_t size);

// True when the bytes begin as a frame of the codec does (its sync word), however few they are.
[[nodiscard]] bool startsFrame(AVCodecID codec, const std::uint8_t* data, std::size_t size);

} // namespace besweet
