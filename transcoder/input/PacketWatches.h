// SPDX-License-Identifier: GPL-3.0-or-later
// Checks of each packet of the input as it is read, before anything decodes it: a last frame
// cut off with the file, and PCM that ends in part of a sample frame or holds samples no
// recording has.
#pragma once

#include "input/Input.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace besweet
{

// MPEG audio and AC3 frames say in their header how long they are. A last frame shorter than
// that was cut off with the file, which FFmpeg's decoders would quietly decode as if whole.
class CutFrameWatch
{
public:
    explicit CutFrameWatch(AVCodecID codec);

    // True when the packet is shorter than its header says, or ends in the start of another
    // frame too short to be parsed on its own (the parser hands such a piece on with the frame
    // before it).
    [[nodiscard]] bool tooShort(const AVPacket& packet) const;

private:
    static constexpr std::size_t shortestHeader = 4;
    AVCodecID codec_;
    bool watching_;
};

// PCM as it is read: a last partial sample frame (a data length not a whole number of frames)
// is dropped, and a float sample that is not a finite number is corrupt data.
class PcmWatch
{
public:
    explicit PcmWatch(const Input& input);

    // Trims the packet to whole sample frames; returns the bytes dropped.
    int trim(AVPacket& packet) const;
    void checkFinite(const AVPacket& packet);

private:
    [[nodiscard]] std::size_t blockBytes() const { return static_cast<std::size_t>(blockAlign_); }

    struct BadSample {
        std::size_t offset;
        bool finite;
    };

    // The first sample that is no number, or a number of 16 (24 dB above full scale) or more.
    [[nodiscard]] std::optional<BadSample> firstOutOfRange(const std::uint8_t* data,
                                                           std::size_t size) const;

    const Input& input_;
    int blockAlign_;
    std::size_t floatBytes_;
    bool bigEndian_;
    std::int64_t framesBefore_ = 0;
};

} // namespace besweet
