// The temporary output file and its FFmpeg I/O callbacks on a plain file descriptor.
#include "OutputFile.h"

#include "Interrupt.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace besweet
{

namespace
{

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string systemError()
{
    return std::strerror(errno);
}

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

// New files get the permissions the user's umask gives any other file (mkstemp makes 0600).
void applyUmask(int fd)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
}

} // namespace

OutputFile::OutputFile(std::string target) : target_(std::move(target))
{
    temporary_ = folderOf(target_) + "/." + nameOf(target_) + ".besweet-XXXXXX";
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0)
        throw WorkError(target_ + ": cannot create a temporary file in '" + folderOf(target_) +
                        "': " + systemError());
    applyUmask(fd_);
}

OutputFile::~OutputFile()
{
    if (committed_)
        return;
    if (fd_ >= 0)
        ::close(fd_);
    ::unlink(temporary_.c_str());
}

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
    if (::fsync(fd_) != 0)
        throw WorkError(target_ + ": cannot write: " + systemError());
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw WorkError(target_ + ": cannot write: " + systemError());
    // The last moment a signal can still keep the target as it was.
    stopWhenInterrupted();
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw WorkError(target_ + ": cannot replace: " + systemError());
    committed_ = true;
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace besweet
