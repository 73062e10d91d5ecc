// SPDX-License-Identifier: GPL-3.0-or-later
// A pipe, FIFO or device read as it comes, for FFmpeg to demux: it keeps the stream's first
// bytes and counts all that arrived, so that at the end of the read the length its header
// declares can be compared with what came, as a file's is with its size.
#pragma once

#include "common/UniqueFd.h"
#include "core/Av.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace besweet
{

class PipeRead
{
public:
    // Throws WorkError when path cannot be opened.
    explicit PipeRead(const std::string& path);
    PipeRead(const PipeRead&) = delete;
    PipeRead& operator=(const PipeRead&) = delete;
    ~PipeRead() = default;

    [[nodiscard]] AVIOContext* io() const { return io_.get(); }
    // The first bytes that arrived (up to HeadBytes).
    [[nodiscard]] std::string_view head() const { return head_; }
    // All bytes that arrived so far.
    [[nodiscard]] std::uint64_t arrived() const { return arrived_; }

    // Enough for the headers of every container whose length is checked.
    static constexpr std::size_t HeadBytes = 256 * 1024;

private:
    static int readSome(void* opaque, std::uint8_t* buffer, int size);

    klangdorn::UniqueFd fd_;
    std::string head_;
    std::uint64_t arrived_ = 0;
    IoContextPtr io_;
};

} // namespace besweet
