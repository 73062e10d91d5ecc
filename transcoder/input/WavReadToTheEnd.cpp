// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a RIFF WAV over 4 GiB to the end of its file: its data size read as "to the end".
#include "input/ContainerLength.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace besweet
{

WavReadToTheEnd::WavReadToTheEnd(const std::string& path, const OversizedWav& wav)
    : fd_(-1), sizeField_(wav.sizeField)
{
    // The file is opened last: what throws before it leaves nothing open, and io_ is freed as a
    // member when the opening throws.
    constexpr int bufferSize = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (!buffer)
        throw WorkError(text("out of memory"));
    io_.reset(avio_alloc_context(buffer, bufferSize, 0, this, readPatched, nullptr, seekTo));
    if (!io_) {
        av_free(buffer);
        throw WorkError(text("out of memory"));
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw WorkError(text("%s: cannot open: %s", path, systemReason(errno)));
}

WavReadToTheEnd::~WavReadToTheEnd()
{
    io_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

int WavReadToTheEnd::readPatched(void* opaque, std::uint8_t* buffer, int size)
{
    auto& self = *static_cast<WavReadToTheEnd*>(opaque);
    ssize_t got = 0;
    do
        got = ::pread(self.fd_, buffer, static_cast<std::size_t>(size),
                      static_cast<off_t>(self.position_));
    while (got < 0 && errno == EINTR);
    if (got < 0)
        return AVERROR(errno);
    if (got == 0)
        return AVERROR_EOF;
    // The size field, or the part of it this read holds.
    const auto start = static_cast<std::uint64_t>(self.position_);
    for (std::uint64_t at = self.sizeField_; at < self.sizeField_ + 4; ++at)
        if (at >= start && at < start + static_cast<std::uint64_t>(got))
            buffer[at - start] = 0xFF;
    self.position_ += got;
    return static_cast<int>(got);
}

std::int64_t WavReadToTheEnd::seekTo(void* opaque, std::int64_t offset, int whence)
{
    auto& self = *static_cast<WavReadToTheEnd*>(opaque);
    struct stat info {
    };
    if (::fstat(self.fd_, &info) != 0)
        return AVERROR(errno);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return info.st_size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += self.position_;
        break;
    case SEEK_END:
        offset += info.st_size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    self.position_ = offset;
    return offset;
}

} // namespace besweet
