// SPDX-License-Identifier: GPL-3.0-or-later
// The weights of the mix from one channel layout to another.
#include "core/ChannelMix.h"

#include "core/Av.h"
#include "core/Describe.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

extern "C" {
#include <libswresample/swresample.h>
}

namespace besweet
{

namespace
{

// Positions FFmpeg's downmix knows: every other position is folded into the nearest of them.
constexpr std::uint64_t earLevel = AV_CH_FRONT_LEFT | AV_CH_FRONT_RIGHT | AV_CH_FRONT_CENTER |
                                   AV_CH_LOW_FREQUENCY | AV_CH_BACK_LEFT | AV_CH_BACK_RIGHT |
                                   AV_CH_FRONT_LEFT_OF_CENTER | AV_CH_FRONT_RIGHT_OF_CENTER |
                                   AV_CH_BACK_CENTER | AV_CH_SIDE_LEFT | AV_CH_SIDE_RIGHT;

// The ear-level position a channel is mixed as. A channel of no known position goes evenly into
// both sides, as the centre does; so does a channel the file only seems to hold as LFE (no mask
// declares it), lest it vanish from a stereo mix.
AVChannel earLevelPosition(AVChannel channel, bool declared)
{
    switch (channel) {
    case AV_CHAN_TOP_FRONT_LEFT:
    case AV_CHAN_BOTTOM_FRONT_LEFT:
    case AV_CHAN_WIDE_LEFT:
    case AV_CHAN_STEREO_LEFT:
        return AV_CHAN_FRONT_LEFT;
    case AV_CHAN_TOP_FRONT_RIGHT:
    case AV_CHAN_BOTTOM_FRONT_RIGHT:
    case AV_CHAN_WIDE_RIGHT:
    case AV_CHAN_STEREO_RIGHT:
        return AV_CHAN_FRONT_RIGHT;
    // Straight overhead is as near to every position as to any: the centre.
    case AV_CHAN_TOP_CENTER:
    case AV_CHAN_TOP_FRONT_CENTER:
    case AV_CHAN_BOTTOM_FRONT_CENTER:
        return AV_CHAN_FRONT_CENTER;
    case AV_CHAN_TOP_BACK_LEFT:
        return AV_CHAN_BACK_LEFT;
    case AV_CHAN_TOP_BACK_RIGHT:
        return AV_CHAN_BACK_RIGHT;
    case AV_CHAN_TOP_BACK_CENTER:
        return AV_CHAN_BACK_CENTER;
    case AV_CHAN_TOP_SIDE_LEFT:
    case AV_CHAN_SURROUND_DIRECT_LEFT:
        return AV_CHAN_SIDE_LEFT;
    case AV_CHAN_TOP_SIDE_RIGHT:
    case AV_CHAN_SURROUND_DIRECT_RIGHT:
        return AV_CHAN_SIDE_RIGHT;
    case AV_CHAN_LOW_FREQUENCY:
    case AV_CHAN_LOW_FREQUENCY_2:
        return declared ? AV_CHAN_LOW_FREQUENCY : AV_CHAN_FRONT_CENTER;
    default:
        return isEarLevel(channel) ? channel : AV_CHAN_FRONT_CENTER;
    }
}

// Where each input channel is mixed from. Beyond the front pair, an input without a layout of
// its own (no channel mask and no usual layout for its count) goes evenly into both sides.
std::vector<AVChannel> earLevelPositions(const AVChannelLayout& in, bool declared)
{
    std::vector<AVChannel> positions;
    for (int i = 0; i < in.nb_channels; ++i) {
        AVChannel channel = av_channel_layout_channel_from_index(&in, static_cast<unsigned>(i));
        if (in.order == AV_CHANNEL_ORDER_UNSPEC)
            channel =
                i >= 2 ? AV_CHAN_FRONT_CENTER : (i == 0 ? AV_CHAN_FRONT_LEFT : AV_CHAN_FRONT_RIGHT);
        positions.push_back(earLevelPosition(channel, declared));
    }
    return positions;
}

// The positions as a layout FFmpeg's downmix takes: pairs completed, and a front.
std::uint64_t saneMask(const std::vector<AVChannel>& positions)
{
    std::uint64_t mask = 0;
    for (const AVChannel channel : positions)
        mask |= std::uint64_t{1} << channel;
    for (const auto pair : {AV_CH_FRONT_LEFT | AV_CH_FRONT_RIGHT,
                            AV_CH_SIDE_LEFT | AV_CH_SIDE_RIGHT, AV_CH_BACK_LEFT | AV_CH_BACK_RIGHT,
                            AV_CH_FRONT_LEFT_OF_CENTER | AV_CH_FRONT_RIGHT_OF_CENTER})
        if (mask & pair)
            mask |= pair;
    if (!(mask & (AV_CH_FRONT_LEFT | AV_CH_FRONT_CENTER)))
        mask |= AV_CH_FRONT_CENTER;
    return mask;
}

// FFmpeg's downmix of an ear-level layout, with room for all it may touch: swr_build_matrix2 of
// FFmpeg 5.1 writes rows past the output's channel count.
constexpr int mostChannels = 64;

std::vector<double> downmix(const AVChannelLayout& in, const AVChannelLayout& out)
{
    std::vector<double> full(static_cast<std::size_t>(mostChannels * mostChannels));
    check(swr_build_matrix2(&in, &out, M_SQRT1_2, M_SQRT1_2, 0.0, 1.0, 1.0, full.data(),
                            mostChannels, AV_MATRIX_ENCODING_NONE, nullptr),
          text("cannot mix %s down to %s", layoutName(in), layoutName(out)));
    return full;
}

} // namespace

bool isEarLevel(AVChannel channel)
{
    return channel >= 0 && channel < 64 && (earLevel >> channel & 1);
}

std::optional<Text> whyUnmixable(const AVChannelLayout& in)
{
    if (in.order == AV_CHANNEL_ORDER_AMBISONIC)
        return text("holds ambisonic sound (%d channels), which this program cannot mix down; "
                    "decode it to speakers first",
                    in.nb_channels);
    return std::nullopt;
}

std::vector<double> mixMatrix(const AVChannelLayout& in, const AVChannelLayout& out, bool declared)
{
    const int inCount = in.nb_channels;
    const int outCount = out.nb_channels;
    // One or two channels: plain copies, a mono source fills both sides, a mono mixdown is
    // the mean, so nothing can clip.
    if (inCount == 1 && outCount == 1)
        return {1.0};
    if (inCount == 1 && outCount == 2)
        return {1.0, 1.0};
    if (inCount == 2 && outCount == 2)
        return {1.0, 0.0, 0.0, 1.0};
    if (inCount == 2 && outCount == 1)
        return {0.5, 0.5};
    if (const auto why = whyUnmixable(in))
        throw WorkError(text("cannot mix: %s", *why));
    // More channels: each folded into its ear-level position, then FFmpeg's downmix, scaled so
    // that no output channel can clip.
    const std::vector<AVChannel> positions = earLevelPositions(in, declared);
    AVChannelLayout folded{};
    check(av_channel_layout_from_mask(&folded, saneMask(positions)), text("channel layout"));
    const std::vector<double> full = downmix(folded, out);
    std::vector<double> matrix;
    double loudest = 0.0;
    for (int o = 0; o < outCount; ++o) {
        double sum = 0.0;
        for (const AVChannel channel : positions) {
            const int column = av_channel_layout_index_from_channel(&folded, channel);
            matrix.push_back(full[static_cast<std::size_t>(o * mostChannels + column)]);
            sum += std::fabs(matrix.back());
        }
        loudest = std::max(loudest, sum);
    }
    if (loudest > 1.0)
        for (double& weight : matrix)
            weight /= loudest;
    return matrix;
}

} // namespace besweet
