// SPDX-License-Identifier: GPL-3.0-or-later
// What the listener gets: decodes the encoder's packets again as they are written and keeps the
// highest decoded sample. Layer II is decoded to float, so a peak above full scale shows as such
// instead of being clipped by the decoder.
#pragma once

#include "Av.h"

#include <string>

namespace besweet
{

class DecodedPeak
{
public:
    // Decodes what encoder writes; name: the output, for messages.
    DecodedPeak(const AVCodecContext& encoder, std::string name);

    // The packet's samples, decoded; call in the packets' order.
    void add(const AVPacket& packet);
    // What the decoder still holds.
    void finish();

    // 1.0 is full scale.
    [[nodiscard]] double peak() const { return peak_; }

private:
    void receive();

    std::string name_;
    CodecContextPtr decoder_;
    FramePtr frame_;
    double peak_ = 0.0;
};

} // namespace besweet
