// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the decoder that matches the encoder, and measuring what it gives on its thread.
#include "level/DecodedTrack.h"

#include "core/WorkQueue.h"
#include "level/LoudnessMeter.h"

#include <algorithm>
#include <unistd.h>
#include <utility>

namespace besweet
{

namespace
{

const AVCodec* floatDecoderFor(AVCodecID codec)
{
    if (codec == AV_CODEC_ID_MP2)
        if (const AVCodec* decoder = avcodec_find_decoder_by_name("mp2float"))
            return decoder;
    return avcodec_find_decoder(codec);
}

} // namespace

// Packets queued at most: a few seconds of any track, so the encoders seldom wait.
constexpr std::size_t MostQueued = 256;

DecodedTrack::DecodedTrack(const AVCodecContext& encoder, std::string name)
    : name_(std::move(name)), frame_(makeFrame()),
      peaks_(static_cast<std::size_t>(std::max(encoder.ch_layout.nb_channels, 0)))
{
    const AVCodec* codec = floatDecoderFor(encoder.codec_id);
    if (!codec)
        throw WorkError(text("%s: no decoder to measure the track with", name_));
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_)
        throw WorkError(text("out of memory"));
    check(av_channel_layout_copy(&decoder_->ch_layout, &encoder.ch_layout), text("channel layout"));
    decoder_->sample_rate = encoder.sample_rate;
    check(avcodec_open2(decoder_.get(), codec, nullptr),
          text("%s: cannot open the decoder that measures the track", name_));
    thread_ = std::thread([this] { decodeQueued(); });
}

DecodedTrack::~DecodedTrack()
{
    endWorker(mutex_, changed_, stopped_, thread_);
}

void DecodedTrack::add(const AVPacket& packet)
{
    PacketPtr copy(av_packet_clone(&packet));
    if (!copy)
        throw WorkError(text("out of memory"));
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || queued_.size() < MostQueued; });
    if (failure_)
        std::rethrow_exception(failure_);
    if (stopped_)
        throw WorkError(text("%s: encoding stopped", name_));
    queued_.push_back(std::move(copy));
    lock.unlock();
    changed_.notify_all();
}

void DecodedTrack::finish()
{
    {
        std::lock_guard lock(mutex_);
        queued_.push_back(nullptr);
    }
    changed_.notify_all();
    thread_.join();
    if (failure_)
        std::rethrow_exception(failure_);
    decoder_.reset();
    frame_.reset();
}

void DecodedTrack::addFile(int fd, AVCodecID codec)
{
    const std::unique_ptr<AVCodecParserContext, decltype(&av_parser_close)> parser(
        av_parser_init(codec), &av_parser_close);
    // Its own context: the decoder's belongs to the decoding thread.
    CodecContextPtr parsing(avcodec_alloc_context3(nullptr));
    if (!parser || !parsing)
        throw WorkError(text("%s: no decoder to measure the track with", name_));
    std::vector<std::uint8_t> bytes(64 * 1024 + AV_INPUT_BUFFER_PADDING_SIZE);
    PacketPtr packet = makePacket();
    off_t at = 0;
    for (bool end = false; !end;) {
        const ssize_t got = ::pread(fd, bytes.data(), 64 * 1024, at);
        if (got < 0)
            throw WorkError(text("%s: cannot read the track written", name_));
        end = got == 0;
        at += got;
        const std::uint8_t* data = bytes.data();
        int left = static_cast<int>(got);
        // At the end, an empty read flushes what the parser holds.
        do {
            std::uint8_t* out = nullptr;
            int size = 0;
            const int used = av_parser_parse2(parser.get(), parsing.get(), &out, &size, data, left,
                                              AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            data += used;
            left -= used;
            if (size > 0) {
                packet->data = out;
                packet->size = size;
                add(*packet);
            }
            if (used == 0 && size == 0)
                break;
        } while (left > 0);
    }
    finish();
}

double DecodedTrack::peak() const
{
    double peak = 0.0;
    for (const TruePeak& meter : peaks_)
        peak = std::max(peak, meter.samplePeak());
    return peak;
}

double DecodedTrack::truePeak() const
{
    double peak = 0.0;
    for (const TruePeak& meter : peaks_)
        peak = std::max(peak, meter.peak());
    return peak;
}

// The decoding thread: decodes what is queued until a null packet, then flushes the decoder. A
// failure is kept for the other side, which stops adding.
void DecodedTrack::decodeQueued()
{
    try {
        for (;;) {
            PacketPtr packet;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stopped_ || !queued_.empty(); });
                if (stopped_)
                    return;
                packet = std::move(queued_.front());
                queued_.pop_front();
            }
            changed_.notify_all();
            decode(packet.get());
            if (!packet)
                return;
        }
    } catch (...) {
        {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
            stopped_ = true;
        }
        changed_.notify_all();
    }
}

// A null packet flushes the decoder.
void DecodedTrack::decode(const AVPacket* packet)
{
    if (packet)
        ++packets_;
    checkEach(avcodec_send_packet(decoder_.get(), packet),
              [&] { return text("%s: the encoded track does not decode", name_); });
    receive();
}

void DecodedTrack::receive()
{
    for (;;) {
        const int got = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        checkEach(got, [&] { return text("%s: the encoded track does not decode", name_); });
        if (static_cast<std::size_t>(frame_->ch_layout.nb_channels) != peaks_.size())
            throw WorkError(text("%s: the encoded track does not decode", name_));
        const auto samples = static_cast<std::size_t>(frame_->nb_samples);
        for (std::size_t c = 0; c < peaks_.size(); ++c) {
            channelAsFloats(*frame_, static_cast<int>(c), peaks_[c].reserve(samples));
            peaks_[c].take(samples);
        }
        av_frame_unref(frame_.get());
    }
}

} // namespace besweet
