// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the audio stream and naming it.
#include "input/StreamChoice.h"

#include "core/Describe.h"

#include <optional>
#include <string>
#include <tuple>

namespace besweet
{

namespace
{

// "stream 2: ac3, 2 channels (stereo), 48000 Hz", numbered among the audio streams.
std::string streamText(const AVStream& stream, int number)
{
    const AVCodecParameters& parameters = *stream.codecpar;
    const int channels = parameters.ch_layout.nb_channels;
    return "stream " + std::to_string(number) + ": " + avcodec_get_name(parameters.codec_id) +
           ", " + std::to_string(channels) + (channels == 1 ? " channel (" : " channels (") +
           layoutName(parameters.ch_layout) + "), " + std::to_string(parameters.sample_rate) +
           " Hz";
}

// What a stream's tags say of it, or nothing.
std::optional<std::string> tag(const AVStream& stream, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(stream.metadata, key, nullptr, 0);
    if (!entry || *entry->value == '\0')
        return std::nullopt;
    return entry->value;
}

} // namespace

Text streamLabel(const AVStream& stream, int number)
{
    const auto language = tag(stream, "language");
    const auto title = tag(stream, "title");
    return text("stream %d (language: %s, title: %s)", number,
                language ? Text{*language, *language} : text("not given"),
                title ? Text{*title, *title} : text("none"));
}

AVStream* chooseAudioStream(Input& input)
{
    AVStream* chosen = nullptr;
    int audioStreams = 0;
    for (unsigned i = 0; i < input.format->nb_streams; ++i) {
        AVStream* stream = input.format->streams[i];
        const AVCodecParameters& parameters = *stream->codecpar;
        if (parameters.codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        ++audioStreams;
        const bool decodable = avcodec_find_decoder(parameters.codec_id) != nullptr;
        input.audioStreams.push_back(streamText(*stream, audioStreams) +
                                     (decodable ? "" : " (no decoder)"));
        if (!decodable)
            continue;
        const auto rank = [](const AVStream& s) {
            return std::tuple(s.codecpar->ch_layout.nb_channels, s.codecpar->sample_rate,
                              (s.disposition & AV_DISPOSITION_DEFAULT) != 0);
        };
        if (!chosen || rank(*stream) > rank(*chosen)) {
            chosen = stream;
            input.audioNumber = audioStreams;
        }
    }
    if (audioStreams < 2)
        input.audioStreams.clear();
    return chosen;
}

} // namespace besweet
