// SPDX-License-Identifier: GPL-3.0-or-later
// What the listener gets: decodes the encoder's packets again, as they are written or from the
// file written, on a thread of its own, and keeps the highest decoded sample, the true peak and
// the number of frames. Layer II is decoded to float, so a peak above full scale shows as such
// instead of being clipped by the decoder.
#pragma once

#include "core/Av.h"
#include "level/TruePeak.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace besweet
{

class DecodedTrack
{
public:
    // Decodes what encoder writes; name: the output, for messages.
    DecodedTrack(const AVCodecContext& encoder, std::string name);
    DecodedTrack(const DecodedTrack&) = delete;
    DecodedTrack& operator=(const DecodedTrack&) = delete;
    // Stops the decoding thread; what it has not decoded is dropped.
    ~DecodedTrack();

    // The packet, to be decoded in its turn; call in the packets' order. Waits while many are
    // queued; throws a failure of the decoding so far.
    void add(const AVPacket& packet);
    // Decodes what is queued and what the decoder still holds; throws its failure.
    void finish();

    // Reads the raw track of the codec written in the file fd and decodes it, then finishes.
    void addFile(int fd, AVCodecID codec);

    // Of what was decoded, once finished. 1.0 is full scale.
    [[nodiscard]] double peak() const;
    [[nodiscard]] double truePeak() const;
    [[nodiscard]] std::int64_t packets() const { return packets_; }

private:
    void decodeQueued();
    void decode(const AVPacket* packet);
    void receive();

    std::string name_;
    CodecContextPtr decoder_;
    FramePtr frame_;
    std::vector<TruePeak> peaks_; // one per channel
    std::int64_t packets_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<PacketPtr> queued_; // a null packet: no more
    bool stopped_ = false;         // by the destructor or a failure
    std::exception_ptr failure_;
    std::thread thread_; // last: starts once everything else is there
};

} // namespace besweet
