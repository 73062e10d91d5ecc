// SPDX-License-Identifier: GPL-3.0-or-later
// Comparing the input with what it was at its open.
#include "input/InputChange.h"

#include "cli/Interrupt.h"
#include "common/UniqueFd.h"
#include "core/Av.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>

namespace besweet
{

std::optional<FileState> fileStateOf(const std::string& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileState{static_cast<std::uint64_t>(info.st_dev),
                     static_cast<std::uint64_t>(info.st_ino),
                     static_cast<std::int64_t>(info.st_size), info.st_mtim};
}

Change changeBetween(const FileState& before, const std::optional<FileState>& now)
{
    if (!now || now->device != before.device || now->inode != before.inode)
        return Change::Replaced;
    if (now->size < before.size)
        return Change::Shrank;
    if (now->size > before.size)
        return Change::Grew;
    if (now->modified.tv_sec != before.modified.tv_sec ||
        now->modified.tv_nsec != before.modified.tv_nsec)
        return Change::Modified;
    return Change::None;
}

namespace
{

// A file system whose files only programs on this machine can write, so that a lease sees every
// writer (on a network share, a recorder on another machine is not seen).
bool isLocal(int fd)
{
    constexpr unsigned long zfs = 0x2fc12fc1;
    constexpr unsigned long ntfs = 0x5346544e;
    struct statfs system {
    };
    if (::fstatfs(fd, &system) != 0)
        return false;
    switch (static_cast<unsigned long>(system.f_type)) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
    case MSDOS_SUPER_MAGIC:
    case EXFAT_SUPER_MAGIC:
    case zfs:
    case ntfs:
        return true;
    default:
        return false;
    }
}

// How much longer a file last modified at modified must be left alone to have been so for quiet
// (all of it for a time in the future: a clock that differs).
std::chrono::nanoseconds quietLeft(const std::timespec& modified, std::chrono::milliseconds quiet)
{
    std::timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto age = std::chrono::seconds(now.tv_sec - modified.tv_sec) +
                     std::chrono::nanoseconds(now.tv_nsec - modified.tv_nsec);
    const std::chrono::nanoseconds whole = quiet;
    return age < std::chrono::nanoseconds::zero() ? whole : std::max(whole - age, {});
}

} // namespace

Writers writersOf(const std::string& path)
{
    // Non-blocking: an open waits while another program holds a write lease on the file.
    const klangdorn::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    // A writer opening the file while the lease is held has a signal sent to this program: SIGURG,
    // which is ignored, rather than SIGIO, which would end it.
    if (file.get() < 0 || !isLocal(file.get()) || ::fcntl(file.get(), F_SETSIG, SIGURG) != 0)
        return Writers::Unknown;
    if (::fcntl(file.get(), F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(file.get(), F_SETLEASE, F_UNLCK);
        return Writers::None;
    }
    return errno == EAGAIN ? Writers::Some : Writers::Unknown;
}

InputWatch::InputWatch(std::string path, std::chrono::milliseconds quiet)
    : path_(std::move(path)), atStart_(fileStateOf(path_)), quiet_(quiet)
{
}

Writers InputWatch::writersAfterCutEnd() const
{
    const Writers writers = writersOf(path_);
    if (writers != Writers::Unknown)
        return writers;
    constexpr std::chrono::milliseconds poll{20};
    const auto until = std::chrono::steady_clock::now() + quietLeft(atStart_->modified, quiet_);
    while (std::chrono::steady_clock::now() < until &&
           changeBetween(*atStart_, fileStateOf(path_)) == Change::None) {
        stopWhenInterrupted();
        std::this_thread::sleep_for(poll);
    }
    return writers;
}

void InputWatch::check(ReadEnd end) const
{
    if (!atStart_)
        return;
    // A writer that holds the file open is recording into it, whether it paused inside a frame
    // or on a frame's boundary; a reader (a player, an editor) that has it open changes nothing.
    const Writers writers = end == ReadEnd::Cut ? writersAfterCutEnd() : writersOf(path_);
    const auto now = fileStateOf(path_);
    const auto bytes = [](std::int64_t size) { return std::to_string(size); };
    switch (changeBetween(*atStart_, now)) {
    case Change::None:
        if (writers == Writers::Some && end == ReadEnd::Cut)
            throw WorkError(
                text("%s: is still being written: it ends cut short, and another program "
                     "has it open for writing; nothing written: convert it once the "
                     "recording is finished",
                     path_));
        if (writers == Writers::Some)
            throw WorkError(text("%s: is still being written: another program has it open for "
                                 "writing; nothing written: convert it once the recording is "
                                 "finished",
                                 path_));
        return;
    case Change::Grew:
        throw WorkError(text("%s: is still being written: it grew from %s to %s bytes while it was "
                             "read; nothing written: convert it once the recording is finished",
                             path_, bytes(atStart_->size), bytes(now->size)));
    case Change::Replaced:
        throw WorkError(text("%s: changed while it was read: another file took its place; "
                             "nothing written: convert it again once it stays as it is",
                             path_));
    case Change::Shrank:
        throw WorkError(text("%s: changed while it was read: it shrank from %s to %s bytes; "
                             "nothing written: convert it again once it stays as it is",
                             path_, bytes(atStart_->size), bytes(now->size)));
    case Change::Modified:
        // Its content is not compared: a file written over in place looks the same from here.
        throw WorkError(text("%s: changed while it was read: its modification time moved while "
                             "its size and identity stayed the same (touched, or written over "
                             "in place); nothing written: convert it again once it stays as it is",
                             path_));
    }
}

} // namespace besweet
