// SPDX-License-Identifier: GPL-3.0-or-later
// A file written beside its final name and put in place only when complete: unnamed (O_TMPFILE)
// where the file system allows, so a killed run leaves nothing behind, else a hidden named file
// that is removed when the run ends any other way.
#pragma once

#include "core/Text.h"

#include <cstddef>
#include <optional>
#include <string>
#include <system_error>

namespace besweet
{

// The folder part of a path ("." for a bare name) and the name part.
[[nodiscard]] std::string folderOf(const std::string& path);
[[nodiscard]] std::string nameOf(const std::string& path);

// A file operation that failed: what was being done and the C library's reason, in English
// (what()) and in the user's language.
class FileError : public std::system_error
{
public:
    FileError(int error, const Text& what);
    [[nodiscard]] const Text& message() const { return message_; }

private:
    Text message_;
};

// Why a file operation failed, in both languages: FileError's message, or the reason of
// another system_error.
[[nodiscard]] Text reasonOf(const std::system_error& error);

class TemporaryFile
{
public:
    // Creates the file in the folder of finalPath with the given permissions (the umask applies).
    // Throws std::system_error when that is not possible.
    TemporaryFile(const std::string& finalPath, unsigned mode);
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

    [[nodiscard]] int fd() const { return fd_; }
    // True when the file has no name until it is put in place.
    [[nodiscard]] bool unnamed() const { return unnamed_; }

    // Gives the file the permissions and, where allowed, the owner of the plain file at path,
    // if there is one; a link there is not followed.
    void takeOverPermissionsOf(const std::string& path);
    // Flushes the file to disk and closes it; throws FileError on failure.
    void syncAndClose();
    // Puts the file in place under its final name, replacing what was there (a symbolic link
    // included, not its destination); throws FileError on failure.
    void putInPlace();

private:
    std::string finalPath_;
    std::string named_; // the hidden name, once the file has one
    int fd_ = -1;
    bool unnamed_ = false;
    bool inPlace_ = false;
};

// Writes all of data to fd, going on after signals; false (errno set) when that fails.
[[nodiscard]] bool writeAll(int fd, const void* data, std::size_t size);
// Why a file cannot be written at path, its temporary file beside it, before any work: a name
// longer than its folder's file system takes, or a path too long for the system. Nothing when
// the lengths are fine.
[[nodiscard]] std::optional<Text> whyPathTooLong(const std::string& path);

// A hidden name for a temporary file beside path: ".<name>.besweet-" and six characters to
// fill in, within the file system's limit on name lengths (the name is shortened as needed).
[[nodiscard]] std::string hiddenNameBeside(const std::string& path);

} // namespace besweet
