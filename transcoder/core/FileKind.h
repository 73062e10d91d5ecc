// SPDX-License-Identifier: GPL-3.0-or-later
// What an input path names: a regular file, whose length is known and which can be read again
// and looked through before it is read, or a stream (a pipe, a device, a socket), read once as
// it comes. The one such check of the transcoder.
#pragma once

#include <string>
#include <sys/stat.h>

namespace besweet
{

enum class FileKind { Missing, Regular, Folder, Stream };

// Links followed; Missing also when the path cannot be asked about.
[[nodiscard]] inline FileKind kindOf(const std::string& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) != 0)
        return FileKind::Missing;
    if (S_ISREG(info.st_mode))
        return FileKind::Regular;
    return S_ISDIR(info.st_mode) ? FileKind::Folder : FileKind::Stream;
}

} // namespace besweet
