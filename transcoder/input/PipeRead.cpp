// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a stream through a reader that notes what arrived.
#include "input/PipeRead.h"

#include "cli/Interrupt.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace besweet
{

PipeRead::PipeRead(const std::string& path)
{
    constexpr int bufferSize = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (!buffer)
        throw WorkError(text("out of memory"));
    io_.reset(avio_alloc_context(buffer, bufferSize, 0, this, readSome, nullptr, nullptr));
    if (!io_) {
        av_free(buffer);
        throw WorkError(text("out of memory"));
    }
    io_->seekable = 0;
    fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_)
        throw WorkError(text("%s: cannot open: %s", path, systemReason(errno)));
}

int PipeRead::readSome(void* opaque, std::uint8_t* buffer, int size)
{
    auto& self = *static_cast<PipeRead*>(opaque);
    ssize_t got = 0;
    // A signal ends even a read that waits for a writer.
    do {
        if (receivedSignal() != 0)
            return AVERROR_EXIT;
        got = ::read(self.fd_.get(), buffer, static_cast<std::size_t>(size));
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return AVERROR(errno);
    if (got == 0)
        return AVERROR_EOF;
    const auto count = static_cast<std::size_t>(got);
    if (self.head_.size() < HeadBytes)
        self.head_.append(reinterpret_cast<const char*>(buffer),
                          std::min(count, HeadBytes - self.head_.size()));
    self.arrived_ += count;
    return static_cast<int>(got);
}

} // namespace besweet
