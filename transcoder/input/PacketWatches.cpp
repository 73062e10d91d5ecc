// SPDX-License-Identifier: GPL-3.0-or-later
// The cut-frame and PCM watches.
#include "input/PacketWatches.h"

#include "input/FrameLength.h"

namespace besweet
{

namespace
{

// The bytes of one sample frame of plain PCM (samples of whole bytes, no packet headers); 0 for
// anything else.
int pcmBlockAlign(const AVCodecParameters& parameters)
{
    const int bits = av_get_exact_bits_per_sample(parameters.codec_id);
    return bits >= 8 ? bits / 8 * parameters.ch_layout.nb_channels : 0;
}

std::size_t floatSampleBytes(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_PCM_F32LE:
    case AV_CODEC_ID_PCM_F32BE:
        return 4;
    case AV_CODEC_ID_PCM_F64LE:
    case AV_CODEC_ID_PCM_F64BE:
        return 8;
    default:
        return 0;
    }
}

bool isBigEndian(AVCodecID codec)
{
    return codec == AV_CODEC_ID_PCM_F32BE || codec == AV_CODEC_ID_PCM_F64BE;
}

} // namespace

CutFrameWatch::CutFrameWatch(AVCodecID codec)
    : codec_(codec), watching_(hasFrameLengthInHeader(codec))
{
}

bool CutFrameWatch::tooShort(const AVPacket& packet) const
{
    if (!watching_)
        return false;
    const auto size = static_cast<std::size_t>(packet.size);
    if (size < shortestHeader)
        return true;
    const auto length = frameLength(codec_, packet.data, size);
    if (!length)
        return false;
    return size < *length ||
           (size > *length && startsFrame(codec_, packet.data + *length, size - *length));
}

PcmWatch::PcmWatch(const Input& input)
    : input_(input), blockAlign_(pcmBlockAlign(*input.stream->codecpar)),
      floatBytes_(floatSampleBytes(input.stream->codecpar->codec_id)),
      bigEndian_(isBigEndian(input.stream->codecpar->codec_id))
{
}

int PcmWatch::trim(AVPacket& packet) const
{
    if (blockAlign_ <= 0)
        return 0;
    const int partial = packet.size % blockAlign_;
    packet.size -= partial;
    return partial;
}

void PcmWatch::checkFinite(const AVPacket& packet)
{
    if (floatBytes_ > 0) {
        const auto bad = firstOutOfRange(packet.data, static_cast<std::size_t>(packet.size));
        if (bad)
            throw WorkError(text(
                "%s: corrupt audio data near %s: %s", input_.path,
                positionText(input_,
                             framesBefore_ + static_cast<std::int64_t>(bad->offset / blockBytes())),
                bad->finite ? text("a sample lies 24 dB or more above full scale, which no "
                                   "recording reaches")
                            : text("a sample is not a finite number")));
    }
    if (blockAlign_ > 0)
        framesBefore_ += packet.size / blockAlign_;
}

// Float masters may peak a few dB above full scale, a loud mix bus 12 dB; a sample 24 dB over
// is beyond any converter's headroom and comes from damage (integers or the wrong byte order
// read as float), and it would set the level of a normalised track, leaving the rest silent.
std::optional<PcmWatch::BadSample> PcmWatch::firstOutOfRange(const std::uint8_t* data,
                                                             std::size_t size) const
{
    // The exponent's top seven bits sit in the byte that holds the sign, the rest in the next.
    const std::size_t high = bigEndian_ ? 0 : floatBytes_ - 1;
    const std::size_t next = bigEndian_ ? 1 : floatBytes_ - 2;
    const bool single = floatBytes_ == 4;
    const unsigned lowBits = single ? 1 : 4;
    const unsigned bias = single ? 127 : 1023;
    const unsigned infinite = single ? 0xff : 0x7ff;
    constexpr unsigned sixteen = 4; // 16 = 2^4
    for (std::size_t at = 0; at + floatBytes_ <= size; at += floatBytes_) {
        const unsigned exponent = (data[at + high] & 0x7fU) << lowBits |
                                  static_cast<unsigned>(data[at + next]) >> (8 - lowBits);
        if (exponent >= bias + sixteen)
            return BadSample{at, exponent != infinite};
    }
    return std::nullopt;
}

} // namespace besweet
