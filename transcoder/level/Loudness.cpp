// SPDX-License-Identifier: GPL-3.0-or-later
// Feeding libebur128 interleaved float samples on its thread, and the summary line.
#include "level/Loudness.h"

#include "core/Decibels.h"
#include "core/WorkQueue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace besweet
{

namespace
{

// One sample of any of FFmpeg's formats, full scale 1.0.
float sampleAt(const std::uint8_t* data, AVSampleFormat format, std::size_t index)
{
    switch (format) {
    case AV_SAMPLE_FMT_FLT: {
        float value;
        std::memcpy(&value, data + index * sizeof value, sizeof value);
        return value;
    }
    case AV_SAMPLE_FMT_DBL: {
        double value;
        std::memcpy(&value, data + index * sizeof value, sizeof value);
        return static_cast<float>(value);
    }
    case AV_SAMPLE_FMT_S16: {
        std::int16_t value;
        std::memcpy(&value, data + index * sizeof value, sizeof value);
        return static_cast<float>(value) / 32768.0f;
    }
    case AV_SAMPLE_FMT_S32: {
        std::int32_t value;
        std::memcpy(&value, data + index * sizeof value, sizeof value);
        return static_cast<float>(value / 2147483648.0);
    }
    default:
        throw WorkError(text("cannot measure the decoded track: unknown sample format"));
    }
}

std::string oneDecimal(double value)
{
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char formatted[32];
    std::snprintf(formatted, sizeof formatted, "%.1f", value);
    return formatted;
}

// "3:25.4", or "1:02:03.4" from an hour on.
std::string lengthText(double seconds)
{
    const auto tenths = static_cast<long long>(std::llround(seconds * 10.0));
    const long long minutes = tenths / 600;
    const double rest = static_cast<double>(tenths % 600) / 10.0;
    char formatted[48];
    if (minutes >= 60)
        std::snprintf(formatted, sizeof formatted, "%lld:%02lld:%04.1f", minutes / 60, minutes % 60,
                      rest);
    else
        std::snprintf(formatted, sizeof formatted, "%lld:%04.1f", minutes, rest);
    return formatted;
}

// Sample frames handed to libebur128 at once: about a fifth of a second, so its thread wakes
// seldom. Blocks queued at most: a few seconds.
constexpr std::size_t BlockFrames = 8192;
constexpr std::size_t MostQueued = 16;

} // namespace

void Loudness::StateDeleter::operator()(ebur128_state* state) const
{
    ebur128_destroy(&state);
}

Loudness::Loudness(int channels, int rate)
    : state_(ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                          EBUR128_MODE_I | EBUR128_MODE_LRA)),
      channels_(channels), truePeaks_(static_cast<std::size_t>(channels))
{
    if (!state_)
        throw WorkError(text("out of memory"));
    thread_ = std::thread([this] { feedQueued(); });
}

Loudness::~Loudness()
{
    endWorker(mutex_, changed_, stopped_, thread_);
}

void Loudness::add(const AVFrame& frame)
{
    const auto samples = static_cast<std::size_t>(frame.nb_samples);
    if (frame.ch_layout.nb_channels != channels_)
        throw WorkError(text("cannot measure the decoded track: its channels changed"));
    const auto channels = static_cast<std::size_t>(channels_);
    const std::size_t from = filled_;
    interleave(frame);
    const bool floatPlanes = frame.format == AV_SAMPLE_FMT_FLTP;
    for (std::size_t c = 0; c < channels; ++c) {
        float* out = truePeaks_[c].reserve(samples);
        if (floatPlanes)
            std::memcpy(out, frame.extended_data[c], samples * sizeof(float));
        else
            for (std::size_t i = 0; i < samples; ++i)
                out[i] = interleaved_[from + i * channels + c];
        truePeaks_[c].take(samples);
    }
    if (filled_ >= BlockFrames * channels)
        handFilled();
}

void Loudness::finish()
{
    if (filled_ > 0)
        handFilled();
    endWorker(mutex_, changed_, finishing_, thread_);
    if (failure_)
        std::rethrow_exception(failure_);
    keepFigures();
}

// Queues the filled block for libebur128 and takes a spare one.
void Loudness::handFilled()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || queued_.size() < MostQueued; });
    if (failure_)
        std::rethrow_exception(failure_);
    if (stopped_)
        throw WorkError(text("cannot measure the loudness of the decoded track"));
    queued_.push_back(
        {std::exchange(interleaved_, {}), filled_ / static_cast<std::size_t>(channels_)});
    filled_ = 0;
    if (!spare_.empty()) {
        interleaved_ = std::move(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    changed_.notify_all();
}

// libebur128's thread: feeds it what is queued until finished. A failure is kept for the other
// side, which stops adding.
void Loudness::feedQueued()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopped_ || finishing_ || !queued_.empty(); });
        if (stopped_ || queued_.empty())
            return;
        Block block = std::move(queued_.front());
        queued_.pop_front();
        lock.unlock();
        changed_.notify_all();
        const int fed = ebur128_add_frames_float(state_.get(), block.samples.data(), block.frames);
        lock.lock();
        spare_.push_back(std::move(block.samples));
        if (fed != EBUR128_SUCCESS) {
            failure_ = std::make_exception_ptr(WorkError(text("out of memory")));
            stopped_ = true;
            changed_.notify_all();
            return;
        }
    }
}

// libebur128 takes interleaved samples only.
void Loudness::interleave(const AVFrame& frame)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const bool planar = av_sample_fmt_is_planar(format);
    const auto samples = static_cast<std::size_t>(frame.nb_samples);
    const auto channels = static_cast<std::size_t>(channels_);
    // Sized once (and for a larger frame), so filling it never clears it first.
    const std::size_t needed = filled_ + samples * channels;
    if (interleaved_.size() < needed)
        interleaved_.resize(std::max(needed, (BlockFrames + samples) * channels));
    float* out = interleaved_.data() + filled_;
    filled_ += samples * channels;
    if (format == AV_SAMPLE_FMT_FLTP) {
        // The decoders' own format, the usual case.
        for (std::size_t c = 0; c < channels; ++c) {
            const auto* plane = reinterpret_cast<const float*>(frame.extended_data[c]);
            for (std::size_t i = 0; i < samples; ++i)
                out[i * channels + c] = plane[i];
        }
        return;
    }
    for (std::size_t c = 0; c < channels; ++c)
        for (std::size_t i = 0; i < samples; ++i)
            out[i * channels + c] =
                planar ? sampleAt(frame.extended_data[c], packed, i)
                       : sampleAt(frame.extended_data[0], packed, i * channels + c);
}

double Loudness::samplePeak() const
{
    double peak = 0.0;
    for (const TruePeak& meter : truePeaks_)
        peak = std::max(peak, meter.samplePeak());
    return peak;
}

// The figures are kept and what measured them goes: a finished track may be kept while the next
// encode of it is measured.
void Loudness::keepFigures()
{
    ebur128_state* state = state_.get();
    if (ebur128_loudness_global(state, &figures_.integrated) != EBUR128_SUCCESS ||
        ebur128_loudness_range(state, &figures_.range) != EBUR128_SUCCESS)
        throw WorkError(text("cannot measure the loudness of the decoded track"));
    for (const TruePeak& meter : truePeaks_)
        figures_.truePeak = std::max(figures_.truePeak, meter.peak());
    state_.reset();
    interleaved_ = {};
    spare_ = {};
}

Text summaryLine(double seconds, const LoudnessFigures& figures)
{
    return text("Delivered: %s, %s LUFS, LRA %s LU, %s dBTP", lengthText(seconds),
                oneDecimal(figures.integrated), oneDecimal(figures.range),
                oneDecimal(toDecibels(figures.truePeak)));
}

} // namespace besweet
