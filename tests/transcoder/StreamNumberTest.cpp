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
    std::vector<int> channels; // of each stream; 0: a video stream
    int number;                // of the audio stream taken, counted among the audio streams
};

using AudioStreamNumber = testing::TestWithParam<Streams>;

TEST_P(AudioStreamNumber, CountsAudioStreamsOnly)
{
    const Streams& s = GetParam();
    Input input;
    input.format.reset(avformat_alloc_context());
    for (const int channels : s.channels) {
        AVCodecParameters& stream = *avformat_new_stream(input.format.get(), nullptr)->codecpar;
        stream.codec_type = channels == 0 ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
        stream.codec_id = channels == 0 ? AV_CODEC_ID_NONE : AV_CODEC_ID_AC3;
        stream.sample_rate = 48000;
        av_channel_layout_default(&stream.ch_layout, channels);
    }
    const std::string number = "stream " + std::to_string(s.number);
    input.stream = chooseAudioStream(input);
    ASSERT_NE(input.stream, nullptr);
    EXPECT_EQ(input.audioNumber, s.number);
    EXPECT_EQ(streamLabel(*input.stream, input.audioNumber).english.rfind(number + " (", 0), 0U);
    EXPECT_EQ(input.audioStreams.at(static_cast<std::size_t>(s.number - 1)).rfind(number, 0), 0U);
}

INSTANTIATE_TEST_SUITE_P(Besweet, AudioStreamNumber,
                         testing::Values(Streams{"video_first", {0, 6, 2}, 1},
                                         Streams{"video_between", {2, 0, 6}, 2},
                                         Streams{"two_videos_first", {0, 0, 2, 6}, 2},
                                         Streams{"audio_only", {2, 6, 2}, 2}),
                         [](const testing::TestParamInfo<Streams>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace besweet
