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
// skips it, and each run of it said once with where it starts; only damage that nothing
// decodable follows ends the read.
class DecodeDamage
{
public:
    DecodeDamage(const Input& input, RunLog* log) : input_(input), log_(log) {}

    // True when code is an error of the data, which is skipped; a lack of memory or an
    // interrupt is thrown.
    bool skipped(int code, double position);
    // A frame decoded: the run of damage before it ends here.
    void decoded();
    void checkSomethingFollows() const;

private:
    struct Run {
        double at;
        int pieces;
    };
    const Input& input_;
    RunLog* log_;
    std::optional<Run> run_;
};

} // namespace besweet
