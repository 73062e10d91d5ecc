// SPDX-License-Identifier: GPL-3.0-or-later
// An input file that changes while it is read gives a track of half one file and half another,
// or of a recording's first part: what the file was at its open (identity, size, modification
// time) is compared with what it is after each pass, and any change ends the run. A pipe is
// read once, as it comes, and has nothing to compare.
//
// A recording whose writer is slower than the reader ends inside a frame whenever the reader
// catches up with it, just as a file cut short does, and one paused on a frame's boundary ends as
// a whole file does: any end is taken as the file's own only when no program has the file open
// for writing, or, where that cannot be told, (after a cut end) once the file has been left alone
// for a moment.
#pragma once

#include <chrono>
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

// Whether any program has a file open for writing.
enum class Writers { None, Some, Unknown };

// What a lease on the regular file at path tells of its writers: nothing for a file of another
// user, which cannot take one, nor for a file on a network share, whose writers on other machines
// it does not see.
[[nodiscard]] Writers writersOf(const std::string& path);

// How a read ended: after a whole frame, or cut (inside a frame, or short of what the header
// declares).
enum class ReadEnd { Whole, Cut };

// What the regular file at path is now; nothing for a pipe, a device or a missing file.
[[nodiscard]] std::optional<FileState> fileStateOf(const std::string& path);

// How the file went from before to now (now nothing: gone, as good as replaced).
[[nodiscard]] Change changeBetween(const FileState& before, const std::optional<FileState>& now);

class InputWatch
{
public:
    // Notes what the input is; call before it is first opened. quiet: how long a file must have
    // been left alone before a cut end is taken as its own.
    explicit InputWatch(std::string path, std::chrono::milliseconds quiet);

    // Throws when the input is no longer what it was at the start: replaced, shorter, or
    // modified ("changed while it was read"), or longer ("still being written"); and when a
    // program has it open for writing ("still being written"), whether the read ended cut or
    // whole. Where the writers cannot be told, a file written to less than the quiet time ago
    // is first watched after a cut end until it changes or that time has passed.
    void check(ReadEnd end = ReadEnd::Whole) const;

private:
    // The writers of the file after a cut end, watched for the quiet time when unknown.
    [[nodiscard]] Writers writersAfterCutEnd() const;

    std::string path_;
    std::optional<FileState> atStart_;
    std::chrono::milliseconds quiet_;
};

} // namespace besweet
