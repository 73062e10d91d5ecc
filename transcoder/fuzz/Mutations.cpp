// SPDX-License-Identifier: GPL-3.0-or-later
// Mutations of recordings as they come damaged or joined.
#include "fuzz/Mutations.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace besweet::fuzz
{

namespace
{

constexpr std::size_t OptionBytes = 2;

// Where a PES header of an audio stream (MPEG audio 0xC0-0xDF, private stream 1 for AC3) with a
// time stamp starts its 5-byte stamp.
std::vector<std::size_t> pesStamps(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::size_t> stamps;
    for (std::size_t at = 0; at + 14 <= size; ++at) {
        if (data[at] != 0 || data[at + 1] != 0 || data[at + 2] != 1)
            continue;
        const std::uint8_t id = data[at + 3];
        const bool audio = (id >= 0xC0 && id <= 0xDF) || id == 0xBD;
        if (audio && (data[at + 6] & 0xC0) == 0x80 && (data[at + 7] & 0x80))
            stamps.push_back(at + 9);
    }
    return stamps;
}

std::uint64_t readStamp(const std::uint8_t* p)
{
    return (static_cast<std::uint64_t>(p[0] >> 1) & 7) << 30 |
           static_cast<std::uint64_t>(p[1]) << 22 | static_cast<std::uint64_t>(p[2] >> 1) << 15 |
           static_cast<std::uint64_t>(p[3]) << 7 | static_cast<std::uint64_t>(p[4] >> 1);
}

void writeStamp(std::uint8_t* p, std::uint64_t stamp)
{
    p[0] = static_cast<std::uint8_t>((p[0] & 0xF0) | ((stamp >> 29) & 0x0E) | 1);
    p[1] = static_cast<std::uint8_t>(stamp >> 22);
    p[2] = static_cast<std::uint8_t>(((stamp >> 14) & 0xFE) | 1);
    p[3] = static_cast<std::uint8_t>(stamp >> 7);
    p[4] = static_cast<std::uint8_t>(((stamp << 1) & 0xFE) | 1);
}

// Where a Matroska SimpleBlock (0xA3) or Block (0xA1) of a small track number (a one-byte
// number, 0x81 to 0x8F) holds its 16-bit time code.
std::vector<std::size_t> blockStamps(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::size_t> stamps;
    for (std::size_t at = 0; at + 5 <= size; ++at) {
        if (data[at] != 0xA3 && data[at] != 0xA1)
            continue;
        // The size: a vint of one to eight bytes.
        std::size_t length = 1;
        while (length <= 8 && !(data[at + 1] & (0x80 >> (length - 1))))
            ++length;
        const std::size_t track = at + 1 + length;
        if (length <= 8 && track + 3 <= size && data[track] >= 0x81 && data[track] <= 0x8F)
            stamps.push_back(track + 1);
    }
    return stamps;
}

std::size_t join(std::uint8_t* data, std::size_t size, std::size_t maxSize, std::mt19937& random)
{
    // The whole again, or its end from some place on, as far as there is room.
    const std::size_t from = random() % 2 ? 0 : random() % size;
    const std::size_t count = std::min(size - from, maxSize - size);
    std::memmove(data + size, data + from, count);
    return size + count;
}

std::size_t insertZeros(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                        std::mt19937& random)
{
    static constexpr std::array<std::size_t, 4> runs{188, 188 * 8, 2048, 4096};
    const std::size_t wanted = random() % 2 ? runs[random() % runs.size()] : 1 + random() % 512;
    const std::size_t at = random() % (size + 1);
    if (random() % 3 == 0) { // lost in place: the bytes become zeros
        std::memset(data + at, 0, std::min(wanted, size - at));
        return size;
    }
    const std::size_t count = std::min(wanted, maxSize - size);
    std::memmove(data + at + count, data + at, size - at);
    std::memset(data + at, 0, count);
    return size + count;
}

// 90 kHz ticks: a frame, a reception error of seconds, a stamp anywhere.
std::int64_t stampMove(std::mt19937& random)
{
    static constexpr std::array<std::int64_t, 6> moves{2160, 9000, 450000, 3600000, -450000, -2160};
    return random() % 4 == 0 ? static_cast<std::int64_t>(random() % (std::uint64_t{1} << 33))
                             : moves[random() % moves.size()];
}

} // namespace

bool moveNthPesStamp(std::uint8_t* data, std::size_t size, std::size_t count, std::int64_t ticks)
{
    const auto stamps = pesStamps(data, size);
    if (stamps.empty())
        return false;
    std::uint8_t* stamp = data + stamps[count % stamps.size()];
    constexpr std::uint64_t wrap = std::uint64_t{1} << 33;
    writeStamp(stamp, (readStamp(stamp) + static_cast<std::uint64_t>(ticks)) % wrap);
    return true;
}

bool setNthBlockStamp(std::uint8_t* data, std::size_t size, std::size_t count, std::int16_t value)
{
    const auto stamps = blockStamps(data, size);
    if (stamps.empty())
        return false;
    const std::size_t at = stamps[count % stamps.size()];
    data[at] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(value) >> 8);
    data[at + 1] = static_cast<std::uint8_t>(value);
    return true;
}

std::size_t mutateInput(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed,
                        const ByteMutation& byteWise)
{
    std::mt19937 random(seed);
    if (size <= OptionBytes || maxSize <= size || random() % 2)
        return byteWise(data, size, maxSize);
    std::uint8_t* file = data + OptionBytes;
    const std::size_t fileSize = size - OptionBytes;
    const std::size_t room = maxSize - OptionBytes;
    switch (random() % 4) {
    case 0:
        if (moveNthPesStamp(file, fileSize, random(), stampMove(random)))
            return size;
        break;
    case 1:
        if (setNthBlockStamp(file, fileSize, random(), static_cast<std::int16_t>(random())))
            return size;
        break;
    case 2:
        return OptionBytes + join(file, fileSize, room, random);
    default:
        return OptionBytes + insertZeros(file, fileSize, room, random);
    }
    return byteWise(data, size, maxSize);
}

} // namespace besweet::fuzz
