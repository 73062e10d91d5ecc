// SPDX-License-Identifier: GPL-3.0-or-later
// The peak pass on two threads: whatever the channels, the mix and the packets' sizes, it finds
// the very peaks one thread finds, and a run stopped half-way leaves no thread behind.
#include "level/ChannelSplitMeter.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace besweet
{
namespace
{

struct SplitCase {
    const char* name;
    int inChannels;
    int outChannels;
    std::vector<double> matrix;
    int packetFrames;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<double> identity(int channels)
{
    std::vector<double> matrix(static_cast<std::size_t>(channels * channels));
    for (int c = 0; c < channels; ++c)
        matrix[static_cast<std::size_t>(c * channels + c)] = 1.0;
    return matrix;
}

// Interleaved 16-bit samples, each channel its own tone, with a crest between two samples late
// in the last channel, so a channel measured on the wrong thread or left out shows.
std::vector<std::uint8_t> interleaved(int channels, int frames)
{
    std::vector<std::uint8_t> bytes;
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            double value = 0.2 * std::sin(0.01 * (c + 1) * f);
            if (c == channels - 1 && f > frames - 200)
                value = 0.9 * std::sin(M_PI / 2 * f + M_PI / 4);
            const auto sample = static_cast<std::int16_t>(std::lround(value * 32767));
            std::uint8_t two[2];
            std::memcpy(two, &sample, 2);
            bytes.insert(bytes.end(), two, two + 2);
        }
    return bytes;
}

class SplitMeter : public testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitMeter, FindsWhatOneThreadFinds)
{
    const SplitCase& c = GetParam();
    const int frames = 300000;
    const std::vector<std::uint8_t> bytes = interleaved(c.inChannels, frames);
    const auto packetBytes = static_cast<std::size_t>(c.packetFrames * c.inChannels * 2);

    PeakMeter alone(c.matrix, c.outChannels, c.inChannels);
    PeakMeter shared(c.matrix, c.outChannels, c.inChannels);
    std::int64_t counted = 0;
    {
        ChannelSplitMeter split(shared, AV_CODEC_ID_PCM_S16LE);
        for (std::size_t at = 0; at < bytes.size(); at += packetBytes) {
            const std::size_t size = std::min(packetBytes, bytes.size() - at);
            alone.addPacket(AV_CODEC_ID_PCM_S16LE, bytes.data() + at, size);
            PacketPtr packet = makePacket();
            ASSERT_EQ(av_new_packet(packet.get(), static_cast<int>(size)), 0);
            std::memcpy(packet->data, bytes.data() + at, size);
            counted += split.add(*packet);
        }
        split.finish();
    }
    EXPECT_EQ(counted, frames);
    EXPECT_GT(alone.truePeak(), 1.2 * alone.samplePeak()); // the crest between samples counts
    EXPECT_EQ(shared.samplePeak(), alone.samplePeak());
    EXPECT_EQ(shared.truePeak(), alone.truePeak());
}

INSTANTIATE_TEST_SUITE_P(
    ChannelSplitMeter, SplitMeter,
    testing::Values(
        SplitCase{"stereo", 2, 2, identity(2), 4096},
        SplitCase{"stereo_small_packets", 2, 2, identity(2), 37},
        SplitCase{"mono_on_one_thread", 1, 1, identity(1), 4096},
        SplitCase{"six_mixed_into_two", 6, 2, {1, 0, 0.7, 0, 0.7, 0, 0, 1, 0.7, 0, 0, 0.7}, 1024},
        SplitCase{"three_channels_split_unevenly", 3, 3, identity(3), 4096}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

// The threads this process runs now.
std::size_t runningThreads()
{
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                      std::filesystem::directory_iterator()));
}

struct Unfinished {
    const char* name;
    int channels;
    int packets;         // handed before the run stops
    std::size_t threads; // besides the caller's, while it runs
};

void PrintTo(const Unfinished& c, std::ostream* os)
{
    *os << c.name;
}

class LeftUnfinished : public testing::TestWithParam<Unfinished>
{
};

// A run stopped by a signal or a read error never calls finish(): the other thread still stops,
// however much is waiting for it.
TEST_P(LeftUnfinished, LeavesNoThreadBehind)
{
    const Unfinished& c = GetParam();
    const std::size_t before = runningThreads();
    {
        PeakMeter meter(identity(c.channels), c.channels, c.channels);
        const std::vector<std::uint8_t> bytes = interleaved(c.channels, 200000);
        ChannelSplitMeter split(meter, AV_CODEC_ID_PCM_S16LE);
        PacketPtr packet = makePacket();
        ASSERT_EQ(av_new_packet(packet.get(), static_cast<int>(bytes.size())), 0);
        std::memcpy(packet->data, bytes.data(), bytes.size());
        for (int i = 0; i < c.packets; ++i)
            split.add(*packet);
        EXPECT_EQ(runningThreads(), before + c.threads);
    }
    EXPECT_EQ(runningThreads(), before);
}

INSTANTIATE_TEST_SUITE_P(ChannelSplitMeter, LeftUnfinished,
                         testing::Values(Unfinished{"stereo_many_packets", 2, 20, 1},
                                         Unfinished{"stereo_no_packet", 2, 0, 1},
                                         Unfinished{"mono", 1, 20, 0}),
                         [](const testing::TestParamInfo<Unfinished>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace besweet
