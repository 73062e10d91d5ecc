// SPDX-License-Identifier: GPL-3.0-or-later
// The length rules of the containers, each read from the first chunks of the file.
#include "input/ContainerLength.h"

#include "core/Describe.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace besweet
{

namespace
{

// So many chunks are looked through for the data; real files have a handful before it.
constexpr int MostChunks = 64;

// A regular file read at given offsets, or the first bytes of a stream of a known length.
class HeaderReader
{
public:
    explicit HeaderReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        struct stat info {
        };
        if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
            size_ = static_cast<std::uint64_t>(info.st_size);
    }
    HeaderReader(std::string_view head, std::uint64_t size) : fd_(-1), head_(head), size_(size) {}
    HeaderReader(const HeaderReader&) = delete;
    HeaderReader& operator=(const HeaderReader&) = delete;
    ~HeaderReader()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    [[nodiscard]] std::uint64_t size() const { return size_; }

    // True when all count bytes at offset could be read.
    bool read(std::uint64_t offset, unsigned char* into, std::size_t count) const
    {
        if (size_ == 0 || offset > size_ || count > size_ - offset)
            return false;
        if (fd_ < 0) {
            if (offset > head_.size() || count > head_.size() - offset)
                return false;
            std::memcpy(into, head_.data() + offset, count);
            return true;
        }
        return ::pread(fd_, into, count, static_cast<off_t>(offset)) == static_cast<ssize_t>(count);
    }

private:
    int fd_;
    std::string_view head_;
    std::uint64_t size_ = 0;
};

std::uint64_t littleEndian(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

std::uint64_t bigEndian(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// The data chunk of a RIFF, RF64 or BW64 WAVE file, with the 64-bit size of the ds64 chunk
// where there is one.
struct WavData {
    const char* container;
    std::uint64_t sizeField;
    std::uint32_t size;
    std::optional<std::uint64_t> ds64Size;
    [[nodiscard]] std::uint64_t offset() const { return sizeField + 4; }
};

std::optional<WavData> findWavData(const HeaderReader& file)
{
    unsigned char riff[12];
    if (!file.read(0, riff, sizeof riff) || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return std::nullopt;
    const bool riff32 = std::memcmp(riff, "RIFF", 4) == 0;
    if (!riff32 && std::memcmp(riff, "RF64", 4) != 0 && std::memcmp(riff, "BW64", 4) != 0)
        return std::nullopt;
    WavData found{riff32 ? "RIFF WAV" : "RF64", 0, 0, std::nullopt};
    std::uint64_t offset = sizeof riff;
    for (int chunks = 0; chunks < MostChunks; ++chunks) {
        unsigned char header[16];
        if (!file.read(offset, header, 8))
            return std::nullopt;
        const auto size = static_cast<std::uint32_t>(littleEndian(header + 4, 4));
        // ds64: the RIFF size, then the data size, 64 bits each.
        if (std::memcmp(header, "ds64", 4) == 0 && file.read(offset + 16, header + 8, 8)) {
            found.ds64Size = littleEndian(header + 8, 8);
        } else if (std::memcmp(header, "data", 4) == 0) {
            found.sizeField = offset + 4;
            found.size = size;
            return found;
        }
        offset += 8 + size + (size & 1);
    }
    return std::nullopt;
}

// 0 and 0xFFFFFFFF leave a RIFF WAV's data open; RF64 gives 0xFFFFFFFF and the ds64 size.
std::optional<DeclaredLength> wavLength(const HeaderReader& file)
{
    const auto data = findWavData(file);
    if (!data)
        return std::nullopt;
    if (data->ds64Size && data->size == 0xFFFFFFFFU)
        return *data->ds64Size == 0 || *data->ds64Size == ~std::uint64_t{0}
                   ? std::nullopt
                   : std::optional<DeclaredLength>(
                         DeclaredLength{data->container, data->offset(), *data->ds64Size, true});
    if (data->size == 0 || data->size == 0xFFFFFFFFU)
        return std::nullopt;
    return DeclaredLength{data->container, data->offset(), data->size, true};
}

// Sony Wave64: 16-byte GUIDs and 64-bit sizes that count the chunk's own 24-byte header; chunks
// start on 8-byte boundaries.
constexpr std::array<unsigned char, 12> waveGuidTail{0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
                                                     0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr std::array<unsigned char, 12> riffGuidTail{0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6,
                                                     0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};

bool isGuid(const unsigned char* guid, const char* name, const std::array<unsigned char, 12>& tail)
{
    return std::memcmp(guid, name, 4) == 0 && std::memcmp(guid + 4, tail.data(), tail.size()) == 0;
}

std::optional<DeclaredLength> w64Length(const HeaderReader& file)
{
    unsigned char header[40];
    if (!file.read(0, header, sizeof header) || !isGuid(header, "riff", riffGuidTail) ||
        !isGuid(header + 24, "wave", waveGuidTail))
        return std::nullopt;
    std::uint64_t offset = sizeof header;
    for (int chunks = 0; chunks < MostChunks; ++chunks) {
        unsigned char chunk[24];
        if (!file.read(offset, chunk, sizeof chunk))
            return std::nullopt;
        const std::uint64_t size = littleEndian(chunk + 16, 8);
        if (size < sizeof chunk)
            return std::nullopt;
        // All ones: left open by a streaming writer.
        if (isGuid(chunk, "data", waveGuidTail) && size == ~std::uint64_t{0})
            return std::nullopt;
        if (isGuid(chunk, "data", waveGuidTail))
            return DeclaredLength{"W64", offset + sizeof chunk, size - sizeof chunk, true};
        // A chunk beyond the end of the file leaves no data after it (and its size rounded up
        // would wrap around).
        if (size > file.size() - offset)
            return std::nullopt;
        offset += (size + 7) & ~std::uint64_t{7};
    }
    return std::nullopt;
}

// AIFF and AIFF-C: big-endian chunks; the sound data chunk starts with an offset and a block
// size before its samples.
std::optional<DeclaredLength> aiffLength(const HeaderReader& file)
{
    unsigned char form[12];
    if (!file.read(0, form, sizeof form) || std::memcmp(form, "FORM", 4) != 0 ||
        (std::memcmp(form + 8, "AIFF", 4) != 0 && std::memcmp(form + 8, "AIFC", 4) != 0))
        return std::nullopt;
    std::uint64_t offset = sizeof form;
    for (int chunks = 0; chunks < MostChunks; ++chunks) {
        unsigned char chunk[16];
        if (!file.read(offset, chunk, 8))
            return std::nullopt;
        const std::uint64_t size = bigEndian(chunk + 4, 4);
        if (std::memcmp(chunk, "SSND", 4) == 0) {
            // 0xFFFFFFFF: left open by a streaming writer, as in a WAV file.
            if (size < 8 || size == 0xFFFFFFFFU || !file.read(offset + 8, chunk + 8, 8))
                return std::nullopt;
            const std::uint64_t skip = bigEndian(chunk + 8, 4);
            if (skip > size - 8)
                return std::nullopt;
            return DeclaredLength{"AIFF", offset + 16 + skip, size - 8 - skip, true};
        }
        offset += 8 + size + (size & 1);
    }
    return std::nullopt;
}

// Core Audio Format: 64-bit chunk sizes, -1 for data that runs to the end; the data chunk starts
// with a 4-byte edit count. Compressed data comes in packets, with tables besides the samples.
std::optional<DeclaredLength> cafLength(const HeaderReader& file)
{
    unsigned char header[8];
    if (!file.read(0, header, sizeof header) || std::memcmp(header, "caff", 4) != 0)
        return std::nullopt;
    std::uint64_t offset = sizeof header;
    bool plainPcm = false;
    for (int chunks = 0; chunks < MostChunks; ++chunks) {
        unsigned char chunk[20];
        if (!file.read(offset, chunk, 12))
            return std::nullopt;
        const std::uint64_t size = bigEndian(chunk + 4, 8);
        if (std::memcmp(chunk, "desc", 4) == 0 && file.read(offset + 12 + 8, chunk + 12, 4))
            plainPcm = std::memcmp(chunk + 12, "lpcm", 4) == 0;
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (size == ~std::uint64_t{0} || size < 4)
                return std::nullopt;
            return DeclaredLength{"CAF", offset + 16, size - 4, plainPcm};
        }
        if (size > file.size())
            return std::nullopt;
        offset += 12 + size;
    }
    return std::nullopt;
}

// A CAF whose packets vary in size (a desc chunk of 0 bytes or 0 frames per packet) needs the
// packet table before its audio to be read as it comes.
bool cafTableAfterAudio(const HeaderReader& file)
{
    unsigned char header[8];
    if (!file.read(0, header, sizeof header) || std::memcmp(header, "caff", 4) != 0)
        return false;
    std::uint64_t offset = sizeof header;
    bool varying = false;
    for (int chunks = 0; chunks < MostChunks; ++chunks) {
        unsigned char chunk[28];
        if (!file.read(offset, chunk, 12))
            return false;
        const std::uint64_t size = bigEndian(chunk + 4, 8);
        // desc: rate (8 bytes), format, flags, bytes per packet, frames per packet.
        if (std::memcmp(chunk, "desc", 4) == 0 && file.read(offset + 12 + 16, chunk + 12, 8))
            varying = bigEndian(chunk + 12, 4) == 0 || bigEndian(chunk + 16, 4) == 0;
        if (std::memcmp(chunk, "pakt", 4) == 0)
            return false;
        if (std::memcmp(chunk, "data", 4) == 0)
            return varying;
        if (size > file.size())
            return false;
        offset += 12 + size;
    }
    return false;
}

// An EBML element's ID or size: its length is told by the first byte's leading zeros.
struct Vint {
    std::uint64_t value;
    int length;
    bool unknown; // a size of all ones: open
};

std::optional<Vint> readVint(const HeaderReader& file, std::uint64_t offset, bool keepMarker)
{
    unsigned char bytes[8];
    if (!file.read(offset, bytes, 1) || bytes[0] == 0)
        return std::nullopt;
    int length = 1;
    while (!(bytes[0] & (0x80 >> (length - 1))))
        ++length;
    if (length > 1 && !file.read(offset + 1, bytes + 1, static_cast<std::size_t>(length - 1)))
        return std::nullopt;
    std::uint64_t value = keepMarker ? bytes[0] : bytes[0] & (0xFF >> length);
    bool allOnes = value == (0xFFU >> length);
    for (int i = 1; i < length; ++i) {
        value = value << 8 | bytes[i];
        allOnes = allOnes && bytes[i] == 0xFF;
    }
    return Vint{value, length, !keepMarker && allOnes};
}

// Matroska and WebM: the EBML header, then the segment, whose size covers the rest.
std::optional<DeclaredLength> matroskaLength(const HeaderReader& file)
{
    constexpr std::uint64_t ebmlId = 0x1A45DFA3;
    constexpr std::uint64_t segmentId = 0x18538067;
    std::uint64_t offset = 0;
    for (int elements = 0; elements < 4; ++elements) {
        const auto id = readVint(file, offset, true);
        if (!id || (elements == 0 && id->value != ebmlId))
            return std::nullopt;
        const auto size = readVint(file, offset + static_cast<std::uint64_t>(id->length), false);
        if (!size)
            return std::nullopt;
        const std::uint64_t content =
            offset + static_cast<std::uint64_t>(id->length + size->length);
        if (id->value == segmentId)
            return size->unknown ? std::nullopt
                                 : std::optional<DeclaredLength>(
                                       DeclaredLength{"Matroska", content, size->value, false});
        if (size->unknown)
            return std::nullopt;
        offset = content + size->value;
    }
    return std::nullopt;
}

// Sun AU: a big-endian header that says where the data starts and how long it is (all ones:
// not known, as a streaming writer leaves it).
std::optional<DeclaredLength> auLength(const HeaderReader& file)
{
    unsigned char header[12];
    if (!file.read(0, header, sizeof header) || std::memcmp(header, ".snd", 4) != 0)
        return std::nullopt;
    const std::uint64_t offset = bigEndian(header + 4, 4);
    const std::uint64_t size = bigEndian(header + 8, 4);
    if (offset < 24 || size == 0xFFFFFFFFU)
        return std::nullopt;
    return DeclaredLength{"AU", offset, size, true};
}

std::optional<DeclaredLength> lengthIn(const HeaderReader& file)
{
    if (file.size() == 0)
        return std::nullopt;
    for (const auto& lengthOf :
         {wavLength, w64Length, aiffLength, cafLength, matroskaLength, auLength})
        if (auto found = lengthOf(file))
            return found;
    return std::nullopt;
}

} // namespace

std::optional<DeclaredLength> declaredLength(const std::string& path)
{
    return lengthIn(HeaderReader(path));
}

std::optional<DeclaredLength> declaredLength(std::string_view head, std::uint64_t arrived)
{
    return lengthIn(HeaderReader(head, arrived));
}

bool packetTableAfterAudio(std::string_view head)
{
    return cafTableAfterAudio(HeaderReader(head, head.size()));
}

std::optional<OversizedWav> oversizedWav(const std::string& path)
{
    constexpr std::uint64_t sizes = std::uint64_t{1} << 32;
    const HeaderReader file(path);
    const auto data = findWavData(file);
    if (!data || data->ds64Size || file.size() - data->offset() < sizes)
        return std::nullopt;
    // The rest of the file is the data, give or take the pad byte after an odd length.
    const std::uint64_t held = file.size() - data->offset();
    const std::uint64_t beyond = (held - data->size) % sizes;
    if (data->size != 0xFFFFFFFFU && beyond > 1)
        return std::nullopt;
    return OversizedWav{data->sizeField, data->size, held - beyond};
}

bool isHeldWhole(const DeclaredLength& declared, std::uint64_t fileSize)
{
    return declared.offset <= fileSize && declared.bytes <= fileSize - declared.offset;
}

Text cutShortText(const DeclaredLength& declared, std::uint64_t fileSize, double bytesPerSecond)
{
    // More than a file can hold (offset and size would wrap around): the header is damaged.
    constexpr auto largestFile = static_cast<std::uint64_t>(INT64_MAX);
    if (declared.offset > largestFile || declared.bytes > largestFile - declared.offset)
        return text("its %s header declares %d bytes of audio data, more than any file holds",
                    std::string(declared.container), declared.bytes);
    if (fileSize < declared.offset)
        return text("it ends before its audio data starts");
    const std::uint64_t held = std::min(fileSize - declared.offset, declared.bytes);
    if (declared.samplesOnly && bytesPerSecond > 0) {
        const std::string promised = seconds(static_cast<double>(declared.bytes) / bytesPerSecond);
        const std::string holds = seconds(static_cast<double>(held) / bytesPerSecond);
        if (promised != holds)
            return text("its header promises %s, it holds %s", promised, holds);
        return text("its header promises %s, it holds %d bytes less", promised,
                    declared.bytes - held);
    }
    return text(
        "its %s header promises %d bytes, it holds %d (%d %%)", std::string(declared.container),
        declared.bytes, held,
        static_cast<int>(100.0 * static_cast<double>(held) / static_cast<double>(declared.bytes)));
}

} // namespace besweet
