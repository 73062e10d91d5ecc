// SPDX-License-Identifier: GPL-3.0-or-later
// The output under construction: a temporary file in the target's folder (see TemporaryFile),
// put in place of the target only once it is complete and on disk, so an existing target is
// never left half-written. A target that is a symbolic link is written at the link's
// destination; a replaced target keeps its permissions and, where allowed, its owner.
#pragma once

#include "core/Av.h"
#include "encode/TrackFile.h"
#include "output/TemporaryFile.h"

#include <optional>
#include <string>

namespace besweet
{

// The file a target path names, symbolic links followed by the kernel, so that its protections
// apply (protected_symlinks: no link another user planted in /tmp); the last link may point
// nowhere yet. problem says why a link cannot be followed.
struct LinkTarget {
    std::string path;
    std::optional<Text> problem;
};
[[nodiscard]] LinkTarget linkTarget(const std::string& path);
// Only the path: the one given where the link cannot be followed.
[[nodiscard]] std::string resolveLinks(const std::string& path);

// Why the target cannot be written, before any work: a folder, not a plain file, a file the
// user may not write, a folder that is missing or closed to the user. Nothing when it can be.
[[nodiscard]] std::optional<Text> whyTargetUnwritable(const std::string& target);

class OutputFile final : public TrackFile
{
public:
    // Creates the temporary file beside target. Throws WorkError when that is not possible.
    explicit OutputFile(std::string target);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() override;

    // An FFmpeg I/O context writing (and seeking, for the WAV header) into the temporary file.
    [[nodiscard]] IoContextPtr makeIoContext() override;
    // The temporary file, open for reading and writing, to change what was written.
    [[nodiscard]] int descriptor() const override { return fd_; }

    // Flushes the file to disk and puts it in place of the target, unless a signal came first
    // (throws Interrupted).
    void commit() override;

private:
    std::string target_; // as given, for messages
    std::string path_;   // where it is written: links followed
    std::optional<TemporaryFile> file_;
    int fd_ = -1;
};

} // namespace besweet
