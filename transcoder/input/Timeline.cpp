// SPDX-License-Identifier: GPL-3.0-or-later
// Following the time stamps of a stamped input, and the frames that fill or trim it.
#include "input/Timeline.h"

#include "core/Describe.h"
#include "core/Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>

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

// Stamps within a packet's length (30 ms at least) of where it belongs are in line: rounding, a
// muxer's jitter, and a parser that gives a PES's stamp to the frame it cuts into.
double tolerance(double length)
{
    return std::max(length, 0.03);
}

// The most a repetition of audio may hold to be dropped: about one frame more than tolerated.
double mostOverlap(double length)
{
    return std::max(length * 2.0, 0.06);
}

} // namespace

void StampRule::add(const Packet& packet)
{
    packets_.push_back(packet);
    waiting_ += packet.length;
}

void StampRule::end()
{
    ended_ = true;
}

bool StampRule::ready() const
{
    if (packets_.empty())
        return false;
    if (ended_)
        return true;
    // Before the time line is known, enough to confirm a packet's stamp a little further on.
    const double needed = next_ ? ConfirmingSeconds : 2.0 * ConfirmingSeconds;
    return waiting_ - packets_.front().length >= needed;
}

// True when ConfirmingSeconds of the packets after the one at index continue its stamp's line.
bool StampRule::continued(std::size_t index) const
{
    const Packet& from = packets_[index];
    if (!from.stamp)
        return false;
    double expected = *from.stamp + from.length;
    double covered = 0.0;
    bool stamped = false;
    for (std::size_t i = index + 1; i < packets_.size(); ++i) {
        const Packet& packet = packets_[i];
        if (packet.stamp) {
            if (std::fabs(*packet.stamp - expected) > tolerance(packet.length))
                return false;
            stamped = true;
        }
        expected += packet.length;
        covered += packet.length;
        if (covered >= ConfirmingSeconds)
            return stamped;
    }
    return false;
}

// Where the first waiting packet belongs, from the first stamp within a second that the packets
// after it confirm.
std::optional<double> StampRule::anchor() const
{
    double before = 0.0;
    for (std::size_t i = 0; i < packets_.size() && before <= ConfirmingSeconds; ++i) {
        if (continued(i))
            return *packets_[i].stamp - before;
        before += packets_[i].length;
    }
    return std::nullopt;
}

StampRule::Place StampRule::take()
{
    if (!next_)
        next_ = anchor();
    const Packet packet = packets_.front();
    const bool inLine =
        !next_ || !packet.stamp || std::fabs(*packet.stamp - *next_) <= tolerance(packet.length);
    // Only a stamp out of line is checked against the packets after it.
    const bool confirmed = !inLine && continued(0);
    packets_.pop_front();
    waiting_ = packets_.empty() ? 0.0 : waiting_ - packet.length;
    if (inLine)
        return followOn(packet);
    overlapLeft_ = 0.0;
    return confirmed ? jump(packet) : damaged(packet);
}

StampRule::Place StampRule::followOn(const Packet& packet)
{
    Place place;
    if (next_)
        *next_ += packet.length;
    if (overlapLeft_ > 0.0) {
        // The rest of a repetition longer than the packet that started it.
        place.drop = std::min(overlapLeft_, packet.length);
        overlapLeft_ -= place.drop;
        overlap_->by += place.drop;
    } else if (packet.stamp) {
        closeOverlap();
    }
    if (packet.stamp)
        closeDamage();
    out_ += packet.length - place.drop;
    return place;
}

// Out of line with the packets on both sides: a damaged stamp, whose audio keeps its place.
StampRule::Place StampRule::damaged(const Packet& packet)
{
    closeOverlap();
    if (!damage_)
        damage_ = Note{Note::Kind::Damage, out_, *packet.stamp - *next_, 0};
    ++damage_->packets;
    *next_ += packet.length;
    out_ += packet.length;
    return {};
}

// A jump the packets after it continue: a hole, a repetition or a new time line.
StampRule::Place StampRule::jump(const Packet& packet)
{
    closeDamage();
    Place place;
    const double off = *packet.stamp - *next_;
    next_ = *packet.stamp + packet.length;
    if (off < 0.0 && -off <= mostOverlap(packet.length) && !packet.repeats) {
        // Nothing repeats: the stamps run slow against the audio, which is kept.
        if (!drift_)
            drift_ = Note{Note::Kind::Drift, out_, 0.0};
        drift_->by += -off;
        out_ += packet.length;
        return place;
    }
    if (off < 0.0 && -off <= mostOverlap(packet.length)) {
        place.drop = std::min(-off, packet.length);
        overlapLeft_ = -off - place.drop;
        if (!overlap_)
            overlap_ = Note{Note::Kind::Overlap, out_, 0.0};
        overlap_->by += place.drop;
        out_ += packet.length - place.drop;
        return place;
    }
    closeOverlap();
    if (off > 0.0 && off <= LongestHole) {
        place.silence = off;
        notes_.push_back(Note{Note::Kind::Hole, out_, off});
    } else {
        notes_.push_back(Note{Note::Kind::NewTimeLine, out_, off});
    }
    out_ += place.silence + packet.length;
    return place;
}

void StampRule::closeDamage()
{
    if (damage_)
        notes_.push_back(*damage_);
    damage_.reset();
}

void StampRule::closeOverlap()
{
    if (overlap_)
        notes_.push_back(*overlap_);
    overlap_.reset();
}

std::vector<StampRule::Note> StampRule::takeNotes()
{
    if (ended_ && packets_.empty()) {
        closeDamage();
        closeOverlap();
        if (drift_)
            notes_.push_back(*std::exchange(drift_, std::nullopt));
    }
    return std::exchange(notes_, {});
}

Timeline::Timeline(const Input& input, RunLog* log)
    : stamped_(hasTimeStamps(*input.format->iformat)), timeBase_(input.stream->time_base), log_(log)
{
}

void Timeline::see(const AVPacket& packet)
{
    constexpr std::size_t mostSeen = 64; // packets: far more than a repetition spans
    if (!stamped_ || packet.pts == AV_NOPTS_VALUE)
        return;
    const std::size_t hash = std::hash<std::string_view>{}(std::string_view(
        reinterpret_cast<const char*>(packet.data), static_cast<std::size_t>(packet.size)));
    // About its stamp: nearer to it than half the packet's length.
    const std::int64_t near = std::max<std::int64_t>(packet.duration / 2, 1);
    const bool repeats = std::ranges::any_of(seen_, [&](const Seen& before) {
        return before.hash == hash && std::llabs(before.stamp - packet.pts) < near;
    });
    if (repeats)
        repeated_.insert(packet.pts);
    seen_.push_back({packet.pts, hash});
    if (seen_.size() > mostSeen)
        seen_.pop_front();
    while (repeated_.size() > mostSeen)
        repeated_.erase(repeated_.begin());
}

void Timeline::add(FramePtr frame, const OnFrame& hand)
{
    if (!stamped_ || frame->sample_rate <= 0) {
        if (frames_.empty()) {
            hand(*frame);
            return;
        }
        // Follows the frames before it.
        rule_.add({std::nullopt, 0.0});
    } else {
        std::optional<double> stamp;
        if (frame->pts != AV_NOPTS_VALUE)
            stamp = static_cast<double>(frame->pts) * av_q2d(timeBase_);
        const bool repeats = frame->pts != AV_NOPTS_VALUE && repeated_.erase(frame->pts) > 0;
        rule_.add({stamp, static_cast<double>(frame->nb_samples) / frame->sample_rate, repeats});
    }
    frames_.push_back(std::move(frame));
    handReady(hand);
}

void Timeline::finish(const OnFrame& hand)
{
    rule_.end();
    handReady(hand);
}

void Timeline::handReady(const OnFrame& hand)
{
    constexpr std::int64_t silencePiece = 8192; // sample frames of a hole handed on at a time
    while (rule_.ready()) {
        const StampRule::Place place = rule_.take();
        const FramePtr frame = std::move(frames_.front());
        frames_.pop_front();
        const int rate = std::max(frame->sample_rate, 1);
        for (auto hole = std::llround(place.silence * rate); hole > 0;) {
            const auto piece = static_cast<int>(std::min<std::int64_t>(hole, silencePiece));
            hand(*silenceLike(*frame, piece));
            hole -= piece;
        }
        const auto drop =
            std::min<std::int64_t>(std::llround(place.drop * rate), frame->nb_samples);
        if (drop == 0)
            hand(*frame);
        else if (drop < frame->nb_samples)
            hand(*withoutStart(*frame, static_cast<int>(drop)));
        for (const StampRule::Note& note : rule_.takeNotes())
            say(note);
    }
    for (const StampRule::Note& note : rule_.takeNotes())
        say(note);
}

void Timeline::say(const StampRule::Note& note)
{
    if (!log_)
        return;
    const std::string at = clockTime(note.at);
    switch (note.kind) {
    case StampRule::Note::Kind::Hole:
        warn(*log_, text("%s of silence inserted at %s: the recording has a gap, which the "
                         "packets after it confirm",
                         seconds(note.by), at));
        break;
    case StampRule::Note::Kind::NewTimeLine:
        warn(*log_, text("the time stamps jump by %s at %s and go on from there (recordings "
                         "joined, or a clock restarted): the audio after it follows without a gap",
                         seconds(note.by), at));
        break;
    case StampRule::Note::Kind::Overlap:
        warn(*log_, text("%s of audio dropped at %s: it repeats the audio before it",
                         seconds(note.by), at));
        break;
    case StampRule::Note::Kind::Drift:
        warn(*log_, text("the time stamps run slow against the audio from %s on and fall %s "
                         "behind it in all (a recorder's clock that drifts): the audio is kept "
                         "whole",
                         at, seconds(note.by)));
        break;
    case StampRule::Note::Kind::Damage:
        warn(*log_, text("damaged time stamps at %s: %d packets stamped %s out of line with "
                         "those around them; their audio is kept in sequence",
                         at, note.packets, seconds(note.by)));
        break;
    }
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
