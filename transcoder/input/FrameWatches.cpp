// SPDX-License-Identifier: GPL-3.0-or-later
// The rate, shape, tag and damage watches of the decoded input.
#include "input/FrameWatches.h"

#include "core/ChannelMix.h"
#include "core/Describe.h"
#include "input/Timeline.h"

#include <cerrno>
#include <string_view>

namespace besweet
{

void checkRate(const std::string& path, int rate, const std::string& where)
{
    if (rate >= LowestRate && rate <= HighestRate)
        return;
    if (where.empty())
        throw WorkError(text("%s: has a sample rate of %d Hz, which no recording has (%d to %d "
                             "Hz); the file is damaged",
                             path, rate, LowestRate, HighestRate));
    throw WorkError(text("%s: has a sample rate of %d Hz from %s on, which no recording has "
                         "(%d to %d Hz); the file is damaged",
                         path, rate, where, LowestRate, HighestRate));
}

bool isTag(const AVPacket& packet)
{
    const std::string_view bytes(reinterpret_cast<const char*>(packet.data),
                                 static_cast<std::size_t>(packet.size));
    return bytes.starts_with("ID3") || bytes.starts_with("TAG") || bytes.starts_with("APETAGEX");
}

void ShapeWatch::see(const AVFrame& frame)
{
    if (frame.sample_rate != rate_ || av_channel_layout_compare(&frame.ch_layout, &layout_)) {
        const std::string from = " from " + seconds(position_) + " on";
        checkRate(input_.path, frame.sample_rate, rate_ != 0 ? seconds(position_) : "");
        if (const auto why = whyUnmixable(frame.ch_layout))
            throw WorkError(text("%s: %s", input_.path, *why));
        if (rate_ != 0 && log_)
            log_->line("input:" + from + " " + std::to_string(frame.ch_layout.nb_channels) +
                       (frame.ch_layout.nb_channels == 1 ? " channel (" : " channels (") +
                       layoutName(frame.ch_layout) + "), " + std::to_string(frame.sample_rate) +
                       " Hz; mixed into the output's channels");
        rate_ = frame.sample_rate;
        check(av_channel_layout_copy(&layout_, &frame.ch_layout), text("channel layout"));
    }
    position_ += static_cast<double>(frame.nb_samples) / frame.sample_rate;
}

bool DecodeDamage::skipped(int code, double position)
{
    if (code >= 0 || code == AVERROR(EAGAIN) || code == AVERROR_EOF)
        return false;
    if (code == AVERROR(ENOMEM) || code == AVERROR_EXIT)
        check(code, text("%s: cannot decode", input_.path));
    if (!run_)
        run_ = Run{position, 0};
    ++run_->pieces;
    return true;
}

void DecodeDamage::decoded()
{
    if (!run_)
        return;
    if (log_)
        warn(*log_, text("damaged audio data at %s skipped, as a player skips it (%d pieces "
                         "the decoder could not read)",
                         clockTime(run_->at), run_->pieces));
    run_.reset();
}

void DecodeDamage::checkSomethingFollows() const
{
    if (run_)
        throw CutShort(text("%s: corrupt audio data near %s, and nothing decodable follows",
                            input_.path, seconds(run_->at)));
}

} // namespace besweet
