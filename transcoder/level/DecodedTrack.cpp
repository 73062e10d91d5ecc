// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the decoder that matches the encoder, and measuring what it gives on its thread.
#include "level/DecodedTrack.h"

#include "core/WorkQueue.h"

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
      loudness_(encoder.ch_layout.nb_channels, encoder.sample_rate), rate_(encoder.sample_rate)
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
    loudness_.finish();
    decoder_.reset();
    frame_.reset();
}

double DecodedTrack::seconds() const
{
    return static_cast<double>(samples_) / rate_;
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
        samples_ += frame_->nb_samples;
        loudness_.add(*frame_);
        av_frame_unref(frame_.get());
    }
}

} // namespace besweet
