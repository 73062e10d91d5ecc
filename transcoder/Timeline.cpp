// SPDX-License-Identifier: GPL-3.0-or-later
// Following the time stamps of a stamped input, and the frames that fill or trim it.
#include "Timeline.h"

#include "Describe.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace besweet
{

namespace
{

// Containers whose stamps say where each frame belongs in the recording.
bool hasTimeStamps(const AVInputFormat& format)
{
    static constexpr std::array names{"mpegts", "mpeg", "matroska,webm", "mov,mp4,m4a,3gp,3g2,mj2"};
    for (const char* name : names)
        if (std::strcmp(format.name, name) == 0)
            return true;
    return false;
}

// A jump of the stamps further than this is no hole in the recording but a new time line (a
// broadcast's clock restarting, or a damaged stamp): followed, not filled.
constexpr double longestHole = 600.0;

} // namespace

Timeline::Timeline(const Input& input, RunLog* log)
    : stamped_(hasTimeStamps(*input.format->iformat)), timeBase_(input.stream->time_base), log_(log)
{
}

Timeline::Step Timeline::place(const AVFrame& frame)
{
    if (!stamped_ || frame.sample_rate <= 0)
        return {};
    const double length = static_cast<double>(frame.nb_samples) / frame.sample_rate;
    if (frame.pts == AV_NOPTS_VALUE) {
        next_ += length;
        return {};
    }
    const double stamp = static_cast<double>(frame.pts) * av_q2d(timeBase_);
    if (!first_) {
        first_ = stamp;
        next_ = stamp + length;
        return {};
    }
    const double off = stamp - next_;
    Step step;
    if (std::fabs(off) > longestHole) {
        if (log_)
            log_->line("input: the time stamps jump by " + seconds(off) + " at " +
                       clockTime(next_ - *first_) + ": taken as a new time line, not a gap");
    } else if (off > length) {
        step.silence = std::llround(off * frame.sample_rate);
        if (log_)
            log_->line(seconds(off) + " of silence inserted at " + clockTime(next_ - *first_) +
                       ": the recording has a gap");
    } else if (-off > length) {
        step.drop =
            std::min<std::int64_t>(std::llround(-off * frame.sample_rate), frame.nb_samples);
        if (dropped_ == 0.0)
            droppedAt_ = stamp - *first_;
        dropped_ += static_cast<double>(step.drop) / frame.sample_rate;
        if (step.drop == frame.nb_samples)
            return step; // wholly before where the time line is
        reportDropped();
        next_ += length - static_cast<double>(step.drop) / frame.sample_rate;
        return step;
    } else {
        reportDropped();
        next_ += length;
        return step;
    }
    reportDropped();
    next_ = stamp + length;
    return step;
}

void Timeline::finish()
{
    reportDropped();
}

void Timeline::reportDropped()
{
    if (dropped_ > 0.0 && log_)
        log_->line(seconds(dropped_) + " of audio dropped at " + clockTime(droppedAt_) +
                   ": it overlaps the audio before it");
    dropped_ = 0.0;
}

void logAudioStart(const Input& input, RunLog& log)
{
    const AVStream& audio = *input.stream;
    if (audio.start_time == AV_NOPTS_VALUE || !hasTimeStamps(*input.format->iformat))
        return;
    std::optional<std::int64_t> others; // microseconds
    for (unsigned i = 0; i < input.format->nb_streams; ++i) {
        const AVStream& stream = *input.format->streams[i];
        if (&stream == &audio || stream.start_time == AV_NOPTS_VALUE)
            continue;
        const std::int64_t start =
            av_rescale_q(stream.start_time, stream.time_base, AVRational{1, 1000000});
        others = others ? std::min(*others, start) : start;
    }
    if (!others)
        return;
    const std::int64_t late =
        (av_rescale_q(audio.start_time, audio.time_base, AVRational{1, 1000000}) - *others) / 1000;
    log.line("input: audio starts " + std::to_string(std::llabs(late)) + " ms " +
             (late < 0 ? "before" : "after") + " the start of the recording's other streams");
}

std::string clockTime(double seconds)
{
    const auto tenths = std::llround(std::max(seconds, 0.0) * 10.0);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%lld", tenths / 36000, tenths / 600 % 60,
                  tenths / 10 % 60, tenths % 10);
    return text;
}

FramePtr silenceLike(const AVFrame& other, int samples)
{
    FramePtr frame = makeFrame();
    frame->format = other.format;
    frame->sample_rate = other.sample_rate;
    frame->nb_samples = samples;
    check(av_channel_layout_copy(&frame->ch_layout, &other.ch_layout), text("channel layout"));
    check(av_frame_get_buffer(frame.get(), 0), text("out of memory"));
    av_samples_set_silence(frame->extended_data, 0, samples, other.ch_layout.nb_channels,
                           static_cast<AVSampleFormat>(other.format));
    return frame;
}

FramePtr withoutStart(const AVFrame& frame, int samples)
{
    FramePtr rest = silenceLike(frame, frame.nb_samples - samples);
    av_samples_copy(rest->extended_data, frame.extended_data, 0, samples, rest->nb_samples,
                    frame.ch_layout.nb_channels, static_cast<AVSampleFormat>(frame.format));
    rest->pts = frame.pts;
    return rest;
}

} // namespace besweet
