// SPDX-License-Identifier: GPL-3.0-or-later
// Which audio stream a container's streams give, and the number the warning names it by: counted
// among the audio streams, as the warning says, whatever other streams come before.
#include "input/StreamChoice.h"

#include <gtest/gtest.h>

namespace besweet
{
namespace
{

struct Streams {
    std::string name;
    std::vector<AVMediaType> kinds;
    std::vector<int> channels; // of each stream (audio only)
    int number;                // of the audio stream taken, counted among the audio streams
};

void PrintTo(const Streams& s, std::ostream* os)
{
    *os << s.name;
}

class AudioStreamNumber : public testing::TestWithParam<Streams>
{
};

TEST_P(AudioStreamNumber, CountsAudioStreamsOnly)
{
    const Streams& s = GetParam();
    Input input;
    input.format.reset(avformat_alloc_context());
    ASSERT_NE(input.format, nullptr);
    for (std::size_t i = 0; i < s.kinds.size(); ++i) {
        AVStream* stream = avformat_new_stream(input.format.get(), nullptr);
        ASSERT_NE(stream, nullptr);
        stream->codecpar->codec_type = s.kinds[i];
        if (s.kinds[i] != AVMEDIA_TYPE_AUDIO)
            continue;
        stream->codecpar->codec_id = AV_CODEC_ID_AC3;
        stream->codecpar->sample_rate = 48000;
        av_channel_layout_default(&stream->codecpar->ch_layout, s.channels[i]);
    }
    const AVStream* chosen = chooseAudioStream(input);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(input.audioNumber, s.number);
    EXPECT_EQ(streamLabel(*chosen, input.audioNumber)
                  .english.rfind("stream " + std::to_string(s.number) + " (", 0),
              0U);
    const std::string listed = "stream " + std::to_string(s.number) + ": ac3, ";
    EXPECT_EQ(input.audioStreams[static_cast<std::size_t>(s.number - 1)].rfind(listed, 0), 0U);
}

constexpr AVMediaType Video = AVMEDIA_TYPE_VIDEO;
constexpr AVMediaType Audio = AVMEDIA_TYPE_AUDIO;
constexpr AVMediaType Data = AVMEDIA_TYPE_DATA;

INSTANTIATE_TEST_SUITE_P(
    Besweet, AudioStreamNumber,
    testing::Values(Streams{"video_first", {Video, Audio, Audio}, {0, 6, 2}, 1},
                    Streams{"video_between", {Audio, Video, Audio}, {2, 0, 6}, 2},
                    Streams{"data_and_video_first", {Data, Video, Audio, Audio}, {0, 0, 2, 6}, 2},
                    Streams{"audio_only", {Audio, Audio, Audio}, {2, 6, 2}, 2}),
    [](const testing::TestParamInfo<Streams>& info) { return info.param.name; });

} // namespace
} // namespace besweet
