// SPDX-License-Identifier: GPL-3.0-or-later
// Remuxing raw test streams into a container, their time stamps moved as asked.
#include "support/Muxed.h"

#include "support/AudioFiles.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace besweet::test
{

namespace
{

void need(int code, const std::string& what)
{
    if (code < 0)
        throw std::runtime_error("test muxer: " + what);
}

struct InputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct OutputCloser {
    void operator()(AVFormatContext* f) const
    {
        if (f->pb)
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

struct Source {
    std::unique_ptr<AVFormatContext, InputCloser> format;
    AVStream* out = nullptr;
    std::int64_t read = 0; // samples read so far
    bool done = false;
};

} // namespace

void writeMuxed(const std::filesystem::path& path, const std::string& muxer,
                const std::vector<MuxedStream>& streams)
{
    AVFormatContext* raw = nullptr;
    need(avformat_alloc_output_context2(&raw, nullptr, muxer.c_str(), path.c_str()), "muxer");
    const std::unique_ptr<AVFormatContext, OutputCloser> output(raw);
    std::vector<Source> sources(streams.size());
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::filesystem::path part = path.string() + ".part" + std::to_string(i);
        writeBytes(part, streams[i].raw);
        AVFormatContext* in = nullptr;
        need(avformat_open_input(&in, part.c_str(), nullptr, nullptr), "open part");
        sources[i].format.reset(in);
        need(avformat_find_stream_info(in, nullptr), "part info");
        std::filesystem::remove(part);
        sources[i].out = avformat_new_stream(raw, nullptr);
        need(sources[i].out ? 0 : -1, "stream");
        need(avcodec_parameters_copy(sources[i].out->codecpar, in->streams[0]->codecpar),
             "parameters");
        sources[i].out->codecpar->codec_tag = 0;
        sources[i].out->time_base = AVRational{1, 90000};
        sources[i].out->disposition = streams[i].flaggedDefault ? AV_DISPOSITION_DEFAULT : 0;
        for (const auto& [key, value] :
             {std::pair{"language", &streams[i].language}, std::pair{"title", &streams[i].title}})
            if (!value->empty())
                av_dict_set(&sources[i].out->metadata, key, value->c_str(), 0);
    }
    need(avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE), "create");
    need(avformat_write_header(raw, nullptr), "header");
    const PacketPtr packet(av_packet_alloc());
    // One packet of each stream in turn, which keeps them close enough for any muxer.
    for (bool any = true; any;) {
        any = false;
        for (std::size_t i = 0; i < sources.size(); ++i) {
            Source& source = sources[i];
            if (source.done)
                continue;
            if (av_read_frame(source.format.get(), packet.get()) < 0) {
                source.done = true;
                continue;
            }
            any = true;
            const AVCodecParameters& parameters = *source.format->streams[0]->codecpar;
            const double at = static_cast<double>(source.read) / parameters.sample_rate;
            double stamp = streams[i].start + at;
            if (streams[i].jumpBy != 0.0 && at >= streams[i].jumpAfter)
                stamp += streams[i].jumpBy;
            source.read += parameters.frame_size > 0
                               ? parameters.frame_size
                               : av_get_audio_frame_duration2(source.format->streams[0]->codecpar,
                                                              packet->size);
            packet->stream_index = source.out->index;
            packet->pts = packet->dts = av_rescale_q(std::llround(stamp * 90000.0),
                                                     AVRational{1, 90000}, source.out->time_base);
            packet->duration = 0;
            packet->pos = -1;
            need(av_interleaved_write_frame(raw, packet.get()), "write");
        }
    }
    need(av_write_trailer(raw), "trailer");
}

void movePesStamp(const std::filesystem::path& path, double fraction, double seconds)
{
    std::string bytes = readBytes(path);
    const auto byte = [&](std::size_t at) -> std::uint64_t {
        return static_cast<unsigned char>(bytes[at]);
    };
    std::vector<std::size_t> stamps; // where each audio PES's five stamp bytes are
    for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
        const std::uint64_t adaptation = byte(at + 3) >> 4 & 3;
        const std::size_t pes = at + 4 + ((adaptation & 2) ? 1 + byte(at + 4) : 0);
        if ((byte(at + 1) & 0x40) && (adaptation & 1) && byte(pes + 2) == 1 &&
            (byte(pes + 3) & 0xE0) == 0xC0 && (byte(pes + 7) & 0x80))
            stamps.push_back(pes + 9);
    }
    const std::size_t at = stamps.at(static_cast<std::size_t>(fraction * stamps.size()));
    std::uint64_t stamp = (byte(at) >> 1 & 7) << 30 | byte(at + 1) << 22 |
                          (byte(at + 2) >> 1) << 15 | byte(at + 3) << 7 | byte(at + 4) >> 1;
    stamp += static_cast<std::uint64_t>(std::llround(seconds * 90000.0));
    const std::uint64_t fields[] = {(byte(at) & 0xF0) | (stamp >> 29 & 0x0E) | 1, stamp >> 22,
                                    (stamp >> 14 & 0xFE) | 1, stamp >> 7, (stamp << 1 & 0xFE) | 1};
    for (std::size_t i = 0; i < 5; ++i)
        bytes[at + i] = static_cast<char>(fields[i] & 0xFF);
    writeBytes(path, bytes);
}

} // namespace besweet::test
