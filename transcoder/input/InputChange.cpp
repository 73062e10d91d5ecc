// SPDX-License-Identifier: GPL-3.0-or-later
// Comparing the input with what it was at its open.
#include "input/InputChange.h"

#include "core/Av.h"

#include <sys/stat.h>

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

InputWatch::InputWatch(std::string path) : path_(std::move(path)), atStart_(fileStateOf(path_)) {}

void InputWatch::check() const
{
    if (!atStart_)
        return;
    const auto now = fileStateOf(path_);
    const auto bytes = [](std::int64_t size) { return std::to_string(size); };
    switch (changeBetween(*atStart_, now)) {
    case Change::None:
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
        throw WorkError(text("%s: changed while it was read: it was written to; nothing "
                             "written: convert it again once it stays as it is",
                             path_));
    }
}

} // namespace besweet
