// SPDX-License-Identifier: GPL-3.0-or-later
// The time line of an input whose container stamps each frame with its time (TS, PS/VOB,
// Matroska, MP4). A stamp is believed only when the packets after it agree: a jump they continue
// is a hole (filled with silence of its length, up to LongestHole) or a new time line (stamps
// that go back or restart, as where recordings were joined), whose audio follows on; a packet or
// a short run of packets out of line with those around it is damage, kept in sequence. Only
// audio that repeats what came before by about a frame, in packets the same as those already
// taken there, is dropped; stamps that fall behind the audio bit by bit are a clock's drift,
// whose audio is kept. Every change is said once, as a warning. Other inputs are taken as one
// unbroken run of samples.
#pragma once

#include "cli/RunLog.h"
#include "core/Av.h"
#include "input/Input.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace besweet
{

// A forward jump of the stamps up to this long, which the packets after it continue, is a hole
// in the recording (a lost signal) and is filled with silence; a longer one is a new time line
// (a clock restarted, a pause, a cut), followed on without a gap.
constexpr double LongestHole = 60.0;
// How much audio after a jump must continue it before the jump is believed.
constexpr double ConfirmingSeconds = 1.0;

// The rule on packets' stamps and lengths alone, in seconds. Packets go in in order; each one's
// place is decided once ConfirmingSeconds of packets after it are known, or the input has ended.
class StampRule
{
public:
    struct Packet {
        std::optional<double> stamp; // none: the packet follows the one before
        double length = 0.0;
        bool repeats = false; // the same as a packet already taken at about its stamp
    };
    struct Place {
        double silence = 0.0; // seconds of silence before the packet
        double drop = 0.0;    // seconds dropped from the packet's start
    };
    struct Note {
        enum class Kind { Hole, NewTimeLine, Overlap, Damage, Drift } kind;
        double at;       // the output's position, in seconds
        double by;       // the hole, the jump, the audio dropped, the first damaged stamp's
                         // offset, how far the stamps fell behind in all
        int packets = 1; // packets of damage
    };

    void add(const Packet& packet);
    // No packets follow.
    void end();
    // True when the first packet not yet placed can be placed.
    [[nodiscard]] bool ready() const;
    // Places the first packet not yet placed (ready() must be true).
    [[nodiscard]] Place take();
    // What changed since the last call, in order; a run of damage or overlap once it ends.
    [[nodiscard]] std::vector<Note> takeNotes();

private:
    [[nodiscard]] Place followOn(const Packet& packet);
    [[nodiscard]] Place damaged(const Packet& packet);
    [[nodiscard]] Place jump(const Packet& packet);
    [[nodiscard]] bool continued(std::size_t index) const;
    [[nodiscard]] std::optional<double> anchor() const;
    void closeDamage();
    void closeOverlap();

    std::deque<Packet> packets_;
    double waiting_ = 0.0; // seconds of the packets waiting
    bool ended_ = false;
    std::optional<double> next_; // where the next packet belongs on the time line
    double out_ = 0.0;           // seconds handed on
    std::optional<Note> damage_; // a run of damage not yet said
    std::optional<Note> overlap_;
    double overlapLeft_ = 0.0;  // seconds of a repetition still to drop
    std::optional<Note> drift_; // said once, at the end
    std::vector<Note> notes_;
};

// The rule applied to an input's decoded frames: hands each frame on once its place is known,
// after the silence of a hole or without its repeated start, and warns of each change.
class Timeline
{
public:
    // log (when given) gets the warnings.
    Timeline(const Input& input, RunLog* log);

    // Notes a packet of the audio stream as it goes to the decoder: whether it repeats one
    // already taken at about its stamp.
    void see(const AVPacket& packet);
    void add(FramePtr frame, const OnFrame& hand);
    // Hands on the frames still waiting.
    void finish(const OnFrame& hand);

private:
    void handReady(const OnFrame& hand);
    void say(const StampRule::Note& note);

    bool stamped_;
    AVRational timeBase_;
    RunLog* log_;
    StampRule rule_;
    std::deque<FramePtr> frames_;
    // The stamps and payloads' hashes of the last packets, and the stamps of those that repeat.
    struct Seen {
        std::int64_t stamp;
        std::size_t hash;
    };
    std::deque<Seen> seen_;
    std::set<std::int64_t> repeated_;
};

// Says in the log where the audio starts against the recording's other streams, in ms: the DVD
// muxer needs a late start to keep sound and picture in step.
void logAudioStart(const Input& input, RunLog& log);

// A frame of the other's format, layout and rate holding samples of silence.
[[nodiscard]] FramePtr silenceLike(const AVFrame& other, int samples);
// The frame without its first samples.
[[nodiscard]] FramePtr withoutStart(const AVFrame& frame, int samples);

} // namespace besweet
