// SPDX-License-Identifier: GPL-3.0-or-later
// An input file that changes while it is read gives a track of half one file and half another,
// or of a recording's first part: what the file was at its open (identity, size, modification
// time) is compared with what it is after each pass, and any change ends the run. A pipe is
// read once, as it comes, and has nothing to compare.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace besweet
{

struct FileState {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::timespec modified{};
};

enum class Change { None, Replaced, Shrank, Modified, Grew };

// What the regular file at path is now; nothing for a pipe, a device or a missing file.
[[nodiscard]] std::optional<FileState> fileStateOf(const std::string& path);

// How the file went from before to now (now nothing: gone, as good as replaced).
[[nodiscard]] Change changeBetween(const FileState& before, const std::optional<FileState>& now);

class InputWatch
{
public:
    // Notes what the input is; call before it is first opened.
    explicit InputWatch(std::string path);

    // Throws when the input is no longer what it was at the start: replaced, shorter, or
    // modified ("changed while it was read"), or longer ("still being written").
    void check() const;

private:
    std::string path_;
    std::optional<FileState> atStart_;
};

} // namespace besweet
