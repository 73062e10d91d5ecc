// SPDX-License-Identifier: GPL-3.0-or-later
// Creating, filling in and putting in place the temporary file.
#include "output/TemporaryFile.h"

#include "common/PathParts.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace besweet
{

namespace
{

constexpr const char* Suffix = ".besweet-XXXXXX";

[[noreturn]] void throwSystemError(const Text& what)
{
    throw FileError(errno, what);
}

std::size_t longestName(const std::string& folder)
{
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

// Fills the trailing X's of a hidden name with random letters.
std::string withRandomSuffix(const std::string& pattern)
{
    static constexpr char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::string name = pattern;
    for (auto x = name.rbegin(); x != name.rend() && *x == 'X'; ++x)
        *x = letters[random() % (sizeof letters - 1)];
    return name;
}

// Gives the unnamed file at fd a hidden name in its folder.
std::string linkUnnamed(int fd, const std::string& pattern)
{
    const std::string source = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = withRandomSuffix(pattern);
        if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return name;
        if (errno != EEXIST)
            throwSystemError(text("cannot name the temporary file"));
    }
    throwSystemError(text("cannot name the temporary file"));
}

} // namespace

FileError::FileError(int error, const Text& what)
    : std::system_error(error, std::generic_category(), what.english),
      message_(text("%s: %s", what, systemReason(error)))
{
}

Text reasonOf(const std::system_error& error)
{
    if (const auto* fileError = dynamic_cast<const FileError*>(&error))
        return fileError->message();
    return systemReason(error.code().value());
}

bool writeAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    const std::string folder = klangdorn::folderOf(path, klangdorn::PathStyle::Posix);
    return folder.empty() ? "." : folder;
}

std::string nameOf(const std::string& path)
{
    return std::string(klangdorn::bareNameOf(path, klangdorn::PathStyle::Posix));
}

std::string hiddenNameBeside(const std::string& path)
{
    const std::string folder = folderOf(path);
    std::string name = nameOf(path);
    const std::size_t room = longestName(folder) - 1 - std::char_traits<char>::length(Suffix);
    if (name.size() > room) {
        name.resize(room);
        // Not in the middle of a UTF-8 character.
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80)
            name.pop_back();
        if (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0xC0)
            name.pop_back();
    }
    return folder + "/." + name + Suffix;
}

std::optional<Text> whyPathTooLong(const std::string& path)
{
    const std::string name = nameOf(path);
    const std::size_t longest = longestName(folderOf(path));
    if (name.size() > longest)
        return text("the name is too long: %d bytes, at most %d; choose a shorter one", name.size(),
                    longest);
    // The temporary file beside it is named too (an unnamed one for the moment of its rename).
    const std::size_t beside = hiddenNameBeside(path).size();
    const std::size_t longestPath = PATH_MAX - 1;
    if (std::max(path.size(), beside) > longestPath)
        return text("the path is too long: %d bytes, at most %d, to leave room for the "
                    "temporary file beside it; choose a shorter one",
                    path.size(), longestPath - (beside > path.size() ? beside - path.size() : 0));
    return std::nullopt;
}

TemporaryFile::TemporaryFile(const std::string& finalPath, unsigned mode) : finalPath_(finalPath)
{
    // An unnamed file is named through /proc at the end: without /proc (a container, a chroot)
    // it could never be put in place.
    if (::access("/proc/self/fd", X_OK) == 0)
        fd_ = ::open(folderOf(finalPath_).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC,
                     static_cast<mode_t>(mode));
    if (fd_ >= 0) {
        unnamed_ = true;
        return;
    }
    // No O_TMPFILE on this file system (or this kernel): a hidden named file.
    named_ = hiddenNameBeside(finalPath_);
    fd_ = ::mkostemp(named_.data(), O_CLOEXEC);
    if (fd_ < 0)
        throwSystemError(text("cannot create a temporary file in '%s'", folderOf(finalPath_)));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, static_cast<mode_t>(mode) & ~mask);
}

TemporaryFile::~TemporaryFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!inPlace_ && !named_.empty())
        ::unlink(named_.c_str());
}

// Changing the owner needs privileges a user usually lacks: then the new file is the user's, as
// a copy would be, in the old file's group where the user may choose it.
void TemporaryFile::takeOverPermissionsOf(const std::string& path)
{
    struct stat old {
    };
    if (::lstat(path.c_str(), &old) != 0 || !S_ISREG(old.st_mode))
        return;
    const bool ownerTaken = ::fchown(fd_, old.st_uid, old.st_gid) == 0 ||
                            ::fchown(fd_, static_cast<uid_t>(-1), old.st_gid) == 0;
    static_cast<void>(ownerTaken); // else the user's own group, as a copy would have
    ::fchmod(fd_, old.st_mode & 0777);
}

void TemporaryFile::syncAndClose()
{
    if (::fsync(fd_) != 0)
        throwSystemError(text("cannot write"));
    // Still open for putInPlace when unnamed: it is linked in through its descriptor.
    if (unnamed_)
        return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throwSystemError(text("cannot write"));
}

void TemporaryFile::putInPlace()
{
    // linkat cannot replace a file, so the unnamed file takes a hidden name first, for the
    // moment of the rename.
    if (unnamed_) {
        named_ = linkUnnamed(fd_, hiddenNameBeside(finalPath_));
        ::close(fd_);
        fd_ = -1;
    }
    if (::rename(named_.c_str(), finalPath_.c_str()) != 0)
        throwSystemError(text("cannot replace"));
    inPlace_ = true;
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(folderOf(finalPath_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace besweet
