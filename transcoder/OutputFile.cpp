// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary output file and its FFmpeg I/O callbacks on a plain file descriptor.
#include "OutputFile.h"

#include "Interrupt.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace besweet
{

namespace
{

int writeAll(void* opaque, std::uint8_t* buffer, int size)
{
    const int fd = *static_cast<int*>(opaque);
    int written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, buffer + written, static_cast<std::size_t>(size - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return AVERROR(errno);
        written += static_cast<int>(n);
    }
    return written;
}

std::int64_t seekTo(void* opaque, std::int64_t offset, int whence)
{
    const int fd = *static_cast<int*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat info {
        };
        return ::fstat(fd, &info) == 0 ? info.st_size : AVERROR(errno);
    }
    const off_t position = ::lseek(fd, offset, whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : position;
}

} // namespace

std::string resolveLinks(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {
        };
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::string destination(PATH_MAX, '\0');
        const ssize_t length = ::readlink(current.c_str(), destination.data(), destination.size());
        if (length < 0)
            return current;
        destination.resize(static_cast<std::size_t>(length));
        current =
            destination.starts_with('/') ? destination : folderOf(current) + "/" + destination;
    }
    return current;
}

std::optional<std::string> whyTargetUnwritable(const std::string& target)
{
    const std::string path = resolveLinks(target);
    if (auto tooLong = whyPathTooLong(path))
        return tooLong;
    struct stat info {
    };
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return "is a folder; give a file name for the output";
        if (!S_ISREG(info.st_mode))
            return "is not a plain file; give a file name for the output";
        if (::access(path.c_str(), W_OK) != 0)
            return std::string("may not be written: ") + std::strerror(errno);
    } else if (errno == ELOOP) {
        return std::string("cannot write: ") + std::strerror(errno);
    }
    const std::string folder = folderOf(path);
    if (::stat(folder.c_str(), &info) != 0)
        return "cannot write in '" + folder + "': " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return "cannot write in '" + folder + "': it is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "cannot write in '" + folder + "': " + std::strerror(errno);
    return std::nullopt;
}

OutputFile::OutputFile(std::string target)
    : target_(std::move(target)), path_(resolveLinks(target_))
{
    try {
        file_.emplace(path_, 0666);
    } catch (const std::system_error& error) {
        throw WorkError(target_ + ": " + error.what());
    }
    fd_ = file_->fd();
    file_->takeOverPermissionsOf(path_);
}

OutputFile::~OutputFile() = default;

IoContextPtr OutputFile::makeIoContext()
{
    constexpr int bufferSize = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (!buffer)
        throw WorkError("out of memory (output buffer)");
    IoContextPtr io(avio_alloc_context(buffer, bufferSize, 1, &fd_, nullptr, writeAll, seekTo));
    if (!io) {
        av_free(buffer);
        throw WorkError("out of memory (output context)");
    }
    return io;
}

void OutputFile::commit()
{
    try {
        file_->syncAndClose();
        // The last moment a signal can still keep the target as it was.
        stopWhenInterrupted();
        file_->putInPlace();
    } catch (const std::system_error& error) {
        throw WorkError(target_ + ": " + error.what());
    }
}

} // namespace besweet
