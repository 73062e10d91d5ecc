// SPDX-License-Identifier: GPL-3.0-or-later
// Whether two paths name one file: the same device and inode (on Windows the same volume and
// file index), links followed. The one such check of the program and of besweet.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace klangdorn
{

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of an existing file or folder; nothing when it cannot be asked.
inline std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path)
{
#ifdef _WIN32
    const HANDLE handle =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(handle, &info);
    ::CloseHandle(handle);
    if (!known)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.dwVolumeSerialNumber),
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                            info.nFileIndexLow};
#else
    struct stat status {
    };
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
#endif
}

// True when both exist and are one file.
inline bool IsSameExistingFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    const auto first = IdentityOf(a);
    return first && first == IdentityOf(b);
}

} // namespace klangdorn
