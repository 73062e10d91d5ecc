// SPDX-License-Identifier: GPL-3.0-or-later
// The questions the transcode run asks the file system, behind an interface so that the
// tests decide the answers.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace klangdorn
{

// Identity, size and modification time of a file: a file that the transcoder has written
// anew has a stamp other than the one it had before. The identity (device and inode; on
// Windows volume and file index) tells a file renamed into place even where the clock is too
// coarse to: 1 s on ext2, 2 s on FAT.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    std::uintmax_t size = 0;
    std::int64_t modified = 0; // in the file system's own ticks
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// A cheap fingerprint of a file's content: its size and a hash of its bytes.
struct ContentFingerprint {
    std::uintmax_t size = 0;
    std::uint64_t hash = 0;
    friend bool operator==(const ContentFingerprint&, const ContentFingerprint&) = default;
};

class FileQuery
{
public:
    virtual ~FileQuery() = default;
    // True when exactly this path names an existing file of any attributes (hidden and
    // system files included); false for a folder and for nothing. No wildcards.
    virtual bool existsAsFile(const std::string& path) const = 0;
    // True when both paths name the same file: the same existing file whatever the spelling
    // of the paths, or, for a file not there yet, the same absolute path once normalised.
    virtual bool isSameFile(const std::string& first, const std::string& second) const = 0;
    // The stamp of an existing file (as existsAsFile counts it); nothing otherwise.
    virtual std::optional<FileStamp> stampOf(const std::string& path) const = 0;
    // The fingerprint of an existing file's content; nothing when it cannot be read.
    virtual std::optional<ContentFingerprint> fingerprintOf(const std::string& path) const = 0;
    // True when the stamp's modification time lies within `window` of now, either side.
    virtual bool modifiedNear(const FileStamp& stamp, std::chrono::seconds window) const = 0;
};

// The local file system; paths are UTF-8.
class LocalFileQuery final : public FileQuery
{
public:
    bool existsAsFile(const std::string& path) const override;
    bool isSameFile(const std::string& first, const std::string& second) const override;
    std::optional<FileStamp> stampOf(const std::string& path) const override;
    std::optional<ContentFingerprint> fingerprintOf(const std::string& path) const override;
    bool modifiedNear(const FileStamp& stamp, std::chrono::seconds window) const override;
};

// The target as it was before a run, to tell afterwards whether the run wrote it. A target
// written shortly before the launch also has its content remembered: on a clock of whole
// seconds a rewrite in place to the same size within that second changes nothing else.
class TargetWatch
{
public:
    static constexpr std::chrono::seconds CoarseClock{2};

    TargetWatch(const FileQuery& files, std::string target);
    // True when the target exists and is not the file it was.
    bool written() const;

private:
    const FileQuery& m_files;
    std::string m_target;
    std::optional<FileStamp> m_before;
    std::optional<ContentFingerprint> m_contentBefore;
};

} // namespace klangdorn
