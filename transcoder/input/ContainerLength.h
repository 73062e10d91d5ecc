// SPDX-License-Identifier: GPL-3.0-or-later
// What an input file's header says about its length, read from the file itself: where its audio
// data starts and how long it is (RIFF WAV, RF64/BW64, W64, AIFF, CAF, Matroska, Sun AU), so that a
// file cut short is told from a whole one; and a RIFF WAV larger than its 32-bit sizes can say.
#pragma once

#include "core/Av.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace besweet
{

struct DeclaredLength {
    const char* container; // "RIFF WAV", "RF64", "W64", "AIFF", "CAF", "Matroska", "AU"
    std::uint64_t offset;  // where the data starts
    std::uint64_t bytes;   // how long the header says it is
    bool samplesOnly;      // the data is nothing but the audio's sample frames
};

// The data the header of the regular file at path declares; nothing when it is none of the
// containers above or leaves the length open (as streaming writers do).
[[nodiscard]] std::optional<DeclaredLength> declaredLength(const std::string& path);
// The same for a stream read to its end: head holds its first bytes, arrived counts them all.
// Nothing also when the header runs beyond head.
[[nodiscard]] std::optional<DeclaredLength> declaredLength(std::string_view head,
                                                           std::uint64_t arrived);

// True when head starts a CAF file whose packets vary in size and whose packet table does not
// come before its audio: read as it comes, its packets cannot be told apart.
[[nodiscard]] bool packetTableAfterAudio(std::string_view head);

// A RIFF WAV whose data chunk runs to the end of a file larger than a 32-bit size can say: its
// size field wrapped around (or holds 0xFFFFFFFF), and only the end of the file ends the data.
struct OversizedWav {
    std::uint64_t sizeField; // where the data chunk's size is written
    std::uint32_t written;   // what it says
    std::uint64_t bytes;     // the data's real length, to the end of the file
};

[[nodiscard]] std::optional<OversizedWav> oversizedWav(const std::string& path);

// The oversized WAV file for FFmpeg to read, its data size read as 0xFFFFFFFF, which FFmpeg takes
// as "to the end of the file". Throws WorkError when it cannot be opened.
class WavReadToTheEnd
{
public:
    WavReadToTheEnd(const std::string& path, const OversizedWav& wav);
    WavReadToTheEnd(const WavReadToTheEnd&) = delete;
    WavReadToTheEnd& operator=(const WavReadToTheEnd&) = delete;
    ~WavReadToTheEnd();

    [[nodiscard]] AVIOContext* io() const { return io_.get(); }

private:
    static int readPatched(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t seekTo(void* opaque, std::int64_t offset, int whence);

    int fd_;
    std::uint64_t sizeField_;
    std::int64_t position_ = 0;
    IoContextPtr io_;
};

// True when a file of fileSize bytes holds all the data declared (checked without a sum that
// could wrap around).
[[nodiscard]] bool isHeldWhole(const DeclaredLength& declared, std::uint64_t fileSize);

// "its header promises 10.00 s, it holds 4.50 s": how much of the declared data the file holds,
// in seconds where bytesPerSecond is known, else in bytes; for a file that ends before its data
// starts, or a header that declares more than any file can hold, that.
[[nodiscard]] Text cutShortText(const DeclaredLength& declared, std::uint64_t fileSize,
                                double bytesPerSecond);

} // namespace besweet
