// SPDX-License-Identifier: GPL-3.0-or-later
// The run's log written into its file and put in place whole.
#include "output/LogFile.h"

#include <cerrno>
#include <sys/stat.h>
#include <system_error>

namespace besweet
{

bool LogFile::open(const std::string& path)
{
    const std::lock_guard lock(mutex_);
    path_ = path;
    if (auto tooLong = whyPathTooLong(path)) {
        problem_ = tooLong;
        return false;
    }
    try {
        file_.emplace(path, 0666);
        file_->takeOverPermissionsOf(path);
    } catch (const std::system_error& error) {
        problem_ = reasonOf(error);
        return false;
    }
    return true;
}

void LogFile::line(std::string_view words)
{
    const std::lock_guard lock(mutex_);
    if (!file_ || problem_)
        return;
    std::string whole(words);
    whole += '\n';
    if (!writeAll(file_->fd(), whole.data(), whole.size()))
        problem_ = text("cannot write: %s", systemReason(errno));
}

std::optional<Text> LogFile::close()
{
    const std::lock_guard lock(mutex_);
    if (!file_)
        return std::nullopt;
    struct stat written {
    };
    const bool empty = ::fstat(file_->fd(), &written) == 0 && written.st_size == 0;
    try {
        file_->syncAndClose();
    } catch (const std::system_error& error) {
        if (!problem_)
            problem_ = reasonOf(error);
    }
    // A log not written whole (a full disk) does not replace one that was.
    struct stat previous {
    };
    keptPrevious_ = problem_ && ::lstat(path_.c_str(), &previous) == 0;
    try {
        // An empty log (a disk full from the start) is no log: none is left.
        if (!keptPrevious_ && !(problem_ && empty)) {
            file_->putInPlace();
            inPlace_ = true;
        }
    } catch (const std::system_error& error) {
        if (!problem_)
            problem_ = reasonOf(error);
    }
    file_.reset();
    return problem_;
}

} // namespace besweet
