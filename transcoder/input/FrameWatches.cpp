// SPDX-License-Identifier: GPL-3.0-or-later
// The rate, shape, tag and damage watches of the decoded input.
#include "input/FrameWatches.h"

#include "core/ChannelMix.h"
#include "core/Describe.h"
#include "input/FrameLength.h"
#include "input/Timeline.h"

#include <cerrno>
#include <string_view>
#include <utility>

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

const AVPacket& DecodeDamage::sending(const AVPacket& packet, double position)
{
    if (afterFrame_) {
        afterFrame_->at = position;
        if (!run_)
            run_ = afterFrame_;
        afterFrame_.reset();
    }
    packetAt_ = packet.pos;
    packetBytes_ = packet.size;
    decodedSince_ = false;
    const auto size = static_cast<std::size_t>(packet.size);
    std::size_t same = size > 0 ? 1 : 0;
    while (same < size && packet.data[size - same - 1] == packet.data[size - 1])
        ++same;
    sameAtTheEnd_ = static_cast<std::int64_t>(same);
    const AVCodecID codec = input_.stream->codecpar->codec_id;
    if (!hasFrameLengthInHeader(codec))
        return packet;
    const auto length = frameLength(codec, packet.data, size);
    if (!length || *length >= size || startsFrame(codec, packet.data + *length, size - *length))
        return packet;
    av_packet_unref(trimmed_.get());
    check(av_packet_ref(trimmed_.get(), &packet), text("out of memory"));
    trimmed_->size = static_cast<int>(*length);
    const auto rest = static_cast<std::int64_t>(size - *length);
    afterFrame_ = Run{position, 1,
                      packet.pos >= 0 ? packet.pos + static_cast<std::int64_t>(*length) : -1, rest};
    packetBytes_ = 0;
    return *trimmed_;
}

bool DecodeDamage::skipped(int code, double position)
{
    if (code >= 0 || code == AVERROR(EAGAIN) || code == AVERROR_EOF)
        return false;
    if (code == AVERROR(ENOMEM) || code == AVERROR_EXIT)
        check(code, text("%s: cannot decode", input_.path));
    // Audio came out of the packet: what the decoder refuses is what follows its frame, as far
    // as it can be told (the bytes of one value it ends in).
    if (!run_ && decodedSince_) {
        run_ = Run{position, 0, packetAt_ >= 0 ? packetAt_ + packetBytes_ - sameAtTheEnd_ : -1,
                   sameAtTheEnd_};
        packetBytes_ = 0;
    } else if (!run_)
        run_ = Run{position, 0, packetAt_, 0};
    ++run_->pieces;
    run_->refused += std::exchange(packetBytes_, 0);
    return true;
}

void DecodeDamage::decoded()
{
    decodedSince_ = true;
    if (!run_)
        return;
    if (log_)
        warn(*log_, text("damaged audio data at %s skipped, as a player skips it (%d pieces "
                         "the decoder could not read)",
                         clockTime(run_->at), run_->pieces));
    run_.reset();
}

void DecodeDamage::skipTrailing(std::int64_t bytes)
{
    if (!run_)
        run_ = std::exchange(afterFrame_, std::nullopt);
    if (!run_)
        return;
    const std::int64_t after =
        run_->from >= 0 && bytes > run_->from ? bytes - run_->from : run_->refused;
    if (log_)
        warn(*log_, text("%d bytes after the end of the audio skipped: nothing in them decodes "
                         "(%s of audio before them)",
                         after, seconds(run_->at)));
    run_.reset();
}

} // namespace besweet
