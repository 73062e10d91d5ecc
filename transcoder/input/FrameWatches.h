// SPDX-License-Identifier: GPL-3.0-or-later
// Checks of the input as it is decoded: the rate and channels of each frame, data the decoder
// refuses, and the tags of MP3 files joined with cat.
#pragma once

#include "input/Input.h"

#include <optional>
#include <string>

namespace besweet
{

// Throws when rate is no recording's. where: empty, or the position from which the rate holds
// ("00:01:02.3").
void checkRate(const std::string& path, int rate, const std::string& where);

// ID3 version 2 and 1 and APE tags, which the end or start of an MPEG audio file may carry.
[[nodiscard]] bool isTag(const AVPacket& packet);

// The channels and rate of the frames decoded so far, to see where they change.
class ShapeWatch
{
public:
    ShapeWatch(const Input& input, RunLog* log) : input_(input), log_(log) {}
    ShapeWatch(const ShapeWatch&) = delete;
    ShapeWatch& operator=(const ShapeWatch&) = delete;
    ~ShapeWatch() { av_channel_layout_uninit(&layout_); }

    // Notes the frame's place (after this one) and whether it differs from the one before.
    void see(const AVFrame& frame);

private:
    const Input& input_;
    RunLog* log_;
    AVChannelLayout layout_{};
    int rate_ = 0;
    double position_ = 0.0;
};

// Data the decoder refuses (a run of zeros, lost sync, a damaged frame) is skipped, as a player
// skips it, and each run of it said once with where it starts; a run that nothing decodable
// follows is bytes after the end of the audio, skipped as well and said with how many they are.
class DecodeDamage
{
public:
    DecodeDamage(const Input& input, RunLog* log) : input_(input), log_(log) {}

    // The packet about to be decoded, with position the seconds decoded so far: what to send.
    // An MPEG audio or AC3 frame followed by bytes that start no frame (the parser hands on
    // what follows the last frame with it) is sent without them; they are damage of their own.
    [[nodiscard]] const AVPacket& sending(const AVPacket& packet, double position);
    // True when code is an error of the data, which is skipped; a lack of memory or an
    // interrupt is thrown.
    bool skipped(int code, double position);
    // A frame decoded: the run of damage before it ends here.
    void decoded();
    // The input has ended after bytes in all (0: not known): a run of damage not yet ended is
    // said as what follows the audio.
    void skipTrailing(std::int64_t bytes);

private:
    struct Run {
        double at;
        int pieces;
        std::int64_t from;    // where its first packet starts in the input (-1: not known)
        std::int64_t refused; // bytes of the packets in it
    };
    const Input& input_;
    RunLog* log_;
    std::optional<Run> run_;
    PacketPtr trimmed_ = makePacket();
    std::optional<Run> afterFrame_; // bytes cut from the packet sent last
    std::int64_t packetAt_ = -1;
    std::int64_t packetBytes_ = 0;
    // Of the packet sent last: how many bytes of one value it ends in, and whether audio has
    // come out of it (the decoder then refuses only what follows its frame).
    std::int64_t sameAtTheEnd_ = 0;
    bool decodedSince_ = false;
};

} // namespace besweet
