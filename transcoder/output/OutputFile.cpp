// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary output file and its FFmpeg I/O callbacks on a plain file descriptor.
#include "output/OutputFile.h"

#include "cli/Interrupt.h"
#include "common/UniqueFd.h"

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

int writePacket(void* opaque, std::uint8_t* buffer, int size)
{
    const int fd = *static_cast<int*>(opaque);
    return writeAll(fd, buffer, static_cast<std::size_t>(size)) ? size : AVERROR(errno);
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

// The links read one by one: where a link that points nowhere yet points, or the name of what
// the kernel found when /proc cannot tell.
std::string readLinks(const std::string& path)
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

// The name of the file open at fd, as the kernel knows it; empty without /proc.
std::string nameOfOpen(int fd)
{
    std::string name(PATH_MAX, '\0');
    const ssize_t length =
        ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), name.data(), name.size());
    if (length <= 0 || name[0] != '/')
        return {};
    name.resize(static_cast<std::size_t>(length));
    return name;
}

} // namespace

LinkTarget linkTarget(const std::string& path)
{
    struct stat link {
    };
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return {path, {}};
    // The kernel follows the link, with the protections it gives links in shared folders.
    const klangdorn::UniqueFd target(::open(path.c_str(), O_PATH | O_CLOEXEC));
    if (target.get() < 0) {
        if (errno == ENOENT)
            return {readLinks(path), {}};
        return {path, text("cannot follow the link: %s", systemReason(errno))};
    }
    struct stat found {
    };
    if (::fstat(target.get(), &found) != 0)
        return {path, text("cannot follow the link: %s", systemReason(errno))};
    std::string name = nameOfOpen(target.get());
    if (name.empty())
        name = readLinks(path);
    struct stat named {
    };
    if (::stat(name.c_str(), &named) != 0 || named.st_dev != found.st_dev ||
        named.st_ino != found.st_ino)
        return {path, text("cannot follow the link: it changed while it was followed")};
    return {name, {}};
}

std::string resolveLinks(const std::string& path)
{
    return linkTarget(path).path;
}

std::optional<Text> whyTargetUnwritable(const std::string& target)
{
    const LinkTarget resolved = linkTarget(target);
    if (resolved.problem)
        return resolved.problem;
    const std::string& path = resolved.path;
    if (auto tooLong = whyPathTooLong(path))
        return tooLong;
    struct stat info {
    };
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return text("is a folder; give a file name for the output");
        if (!S_ISREG(info.st_mode))
            return text("is not a plain file; give a file name for the output");
        if (::access(path.c_str(), W_OK) != 0)
            return text("may not be written: %s", systemReason(errno));
    } else if (errno == ELOOP) {
        return text("cannot write: %s", systemReason(errno));
    }
    const std::string folder = folderOf(path);
    if (::stat(folder.c_str(), &info) != 0)
        return text("cannot write in '%s': %s", folder, systemReason(errno));
    if (!S_ISDIR(info.st_mode))
        return text("cannot write in '%s': it is not a folder", folder);
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return text("cannot write in '%s': %s", folder, systemReason(errno));
    return std::nullopt;
}

OutputFile::OutputFile(std::string target) : target_(std::move(target))
{
    const LinkTarget resolved = linkTarget(target_);
    if (resolved.problem)
        throw WorkError(text("%s: %s", target_, *resolved.problem));
    path_ = resolved.path;
    try {
        file_.emplace(path_, 0666);
    } catch (const std::system_error& error) {
        throw WorkError(text("%s: %s", target_, reasonOf(error)));
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
        throw WorkError(text("out of memory"));
    IoContextPtr io(avio_alloc_context(buffer, bufferSize, 1, &fd_, nullptr, writePacket, seekTo));
    if (!io) {
        av_free(buffer);
        throw WorkError(text("out of memory"));
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
        throw WorkError(text("%s: %s", target_, reasonOf(error)));
    }
}

} // namespace besweet
