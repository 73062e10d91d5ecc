// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the channel mode of each frame header, without decoding.
#include "input/HeaderScan.h"

#include "cli/Interrupt.h"
#include "cli/Progress.h"
#include "core/FileKind.h"

#include <algorithm>
#include <array>

namespace besweet
{

namespace
{

bool isMpegAudio(AVCodecID codec)
{
    return codec == AV_CODEC_ID_MP1 || codec == AV_CODEC_ID_MP2 || codec == AV_CODEC_ID_MP3;
}

// Bits of a header, first bit first.
class Bits
{
public:
    Bits(const std::uint8_t* data, std::size_t at) : data_(data), at_(at) {}
    unsigned take(unsigned count)
    {
        unsigned value = 0;
        for (unsigned i = 0; i < count; ++i, ++at_)
            value = value << 1 | (data_[at_ / 8] >> (7 - at_ % 8) & 1);
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t at_;
};

// AC3's bit stream information: the coding mode (acmod) says the full-range channels, and the
// LFE bit follows the mix levels that mode carries.
std::optional<int> ac3Channels(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t headerBytes = 8;
    if (size < headerBytes || data[0] != 0x0B || data[1] != 0x77 || (data[5] >> 3) > 10)
        return std::nullopt;
    static constexpr std::array<int, 8> fullRange{2, 1, 2, 3, 3, 4, 4, 5};
    Bits bits(data, 6 * 8);
    const unsigned mode = bits.take(3);
    if ((mode & 1) && mode != 1)
        bits.take(2); // centre mix level
    if (mode & 4)
        bits.take(2); // surround mix level
    if (mode == 2)
        bits.take(2); // Dolby Surround mode
    return fullRange[mode] + static_cast<int>(bits.take(1));
}

} // namespace

std::optional<int> channelsInHeader(AVCodecID codec, const std::uint8_t* data, std::size_t size)
{
    if (codec == AV_CODEC_ID_AC3)
        return ac3Channels(data, size);
    if (isMpegAudio(codec) && size >= 4 && data[0] == 0xFF && (data[1] & 0xE0) == 0xE0)
        return (data[3] >> 6) == 3 ? 1 : 2;
    return std::nullopt;
}

bool scanChannels(Input& input, RunLog& log, int passes)
{
    const AVCodecID codec = input.stream->codecpar->codec_id;
    if (codec != AV_CODEC_ID_AC3 && !isMpegAudio(codec))
        return false;
    const int first = input.decoder->ch_layout.nb_channels;
    if (kindOf(input.path) == FileKind::Stream) {
        log.line("input: a pipe, which cannot be looked through before it is read: the output "
                 "takes the channels of its first part (" +
                 std::to_string(first) + ")");
        return false;
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw WorkError(text("out of memory"));
    raw->interrupt_callback = input.format->interrupt_callback;
    const int opened =
        avformat_open_input(&raw, ("file:" + input.path).c_str(), input.format->iformat, nullptr);
    check(opened, text("%s: cannot read as audio", input.path));
    const InputFormatPtr format(raw);
    check(avformat_find_stream_info(raw, nullptr), text("%s: cannot read as audio", input.path));
    PacketPtr packet = makePacket();
    int most = first;
    ReadStalls stalls;
    // Reading the whole file takes a while on a long recording: it is a pass of its own.
    Progress progress(
        text("Pass %d/%d: looking through the input for the channels of each part", 1, passes));
    for (;;) {
        const int read = av_read_frame(raw, packet.get());
        stopWhenInterrupted();
        // Damage (a run of zeros, lost sync) is read through, as the decoding pass does.
        if (read == AVERROR(EAGAIN) || read == AVERROR_INVALIDDATA) {
            if (stalls.tryAgain(avio_tell(raw->pb)))
                continue;
            break;
        }
        if (read < 0)
            break;
        if (packet->stream_index == input.stream->index)
            most = std::max(
                most, channelsInHeader(codec, packet->data, static_cast<std::size_t>(packet->size))
                          .value_or(0));
        progress.update(packet->pos >= 0 ? packet->pos : avio_tell(raw->pb), input.bytes);
        av_packet_unref(packet.get());
    }
    progress.finish();
    input.mostChannels = most;
    if (most > first)
        log.line("input: starts with " + std::to_string(first) +
                 (first == 1 ? " channel" : " channels") + ", a later part holds " +
                 std::to_string(most) + ": the output is made for the most");
    return true;
}

} // namespace besweet
