// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the dialogue level's five bits, and the checksum that makes the frame's first five
// eighths check out again.
#include "encode/Ac3Dialnorm.h"

#include "cli/Options.h"
#include "core/Av.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/ac3_parser.h>
#include <libavutil/crc.h>
}

namespace besweet
{

namespace
{

constexpr std::size_t HeaderBytes = 7; // enough for the dialogue level of every channel mode

// Where the dialogue level's first bit lies, counted from the frame's first bit: after the
// sync information (40 bits), bsid, bsmod and acmod (11), the mix levels and surround mode the
// channel mode carries, and lfeon.
std::size_t dialnormBit(std::span<const std::uint8_t> frame)
{
    if (frame.size() < HeaderBytes || frame[0] != 0x0B || frame[1] != 0x77)
        throw WorkError(text("not an AC3 frame"));
    const int acmod = frame[6] >> 5;
    if (acmod == 0)
        throw WorkError(text("AC3 frame of two independent channels"));
    std::size_t bit = 40 + 11;
    if ((acmod & 1) && acmod != 1)
        bit += 2;
    if (acmod & 4)
        bit += 2;
    if (acmod == 2)
        bit += 2;
    return bit + 1;
}

unsigned bitsAt(std::span<const std::uint8_t> frame, std::size_t first, int count)
{
    unsigned value = 0;
    for (int i = 0; i < count; ++i) {
        const std::size_t bit = first + static_cast<std::size_t>(i);
        value = value << 1 | ((frame[bit / 8] >> (7 - bit % 8)) & 1u);
    }
    return value;
}

void setBitsAt(std::span<std::uint8_t> frame, std::size_t first, int count, unsigned value)
{
    for (int i = 0; i < count; ++i) {
        const std::size_t bit = first + static_cast<std::size_t>(i);
        const auto mask = static_cast<std::uint8_t>(0x80u >> (bit % 8));
        if ((value >> (count - 1 - i)) & 1u)
            frame[bit / 8] |= mask;
        else
            frame[bit / 8] &= static_cast<std::uint8_t>(~mask);
    }
}

// The first checksum covers the frame's first five eighths after the sync word (whole 16-bit
// words): the remainder of that part, checksum included, is zero.
std::size_t firstPartBytes(std::size_t frameBytes)
{
    return ((frameBytes >> 2) + (frameBytes >> 4)) << 1;
}

std::uint16_t remainder(std::span<const std::uint8_t> bytes)
{
    return static_cast<std::uint16_t>(
        av_crc(av_crc_get_table(AV_CRC_16_ANSI), 0, bytes.data(), bytes.size()));
}

// The remainder is linear in the part's bits: the checksum c (its first two bytes) gives
// remainder(c, 0, ..., 0) xor remainder(0, 0, rest). For each part length the table holds the c
// whose remainder with zeros after it is each value, so c = table[remainder(0, 0, rest)] cancels
// the rest's remainder. Tables are made once per length (AC3 at 44.1 kHz has two).
const std::vector<std::uint16_t>& checksumFor(std::size_t partBytes)
{
    static std::map<std::size_t, std::vector<std::uint16_t>> tables;
    std::vector<std::uint16_t>& table = tables[partBytes];
    if (!table.empty())
        return table;
    std::array<std::uint16_t, 16> column{};
    std::vector<std::uint8_t> zeros(partBytes, 0);
    for (int i = 0; i < 16; ++i) {
        zeros[0] = static_cast<std::uint8_t>((1u << i) >> 8);
        zeros[1] = static_cast<std::uint8_t>((1u << i) & 0xff);
        column[static_cast<std::size_t>(i)] = remainder(zeros);
    }
    table.assign(1u << 16, 0);
    for (unsigned c = 1; c < (1u << 16); ++c) {
        std::uint16_t r = 0;
        for (unsigned i = 0; i < 16; ++i)
            if (c >> i & 1u)
                r ^= column[i];
        table[r] = static_cast<std::uint16_t>(c);
    }
    return table;
}

} // namespace

int dialnormOf(std::span<const std::uint8_t> frame)
{
    const unsigned stored = bitsAt(frame, dialnormBit(frame), 5);
    return stored == 0 ? DialnormNeutral : -static_cast<int>(stored);
}

void setDialnorm(std::span<std::uint8_t> frame, int dialnorm)
{
    const std::size_t partBytes = firstPartBytes(frame.size());
    if (partBytes > frame.size())
        throw WorkError(text("not an AC3 frame"));
    setBitsAt(frame, dialnormBit(frame), 5, static_cast<unsigned>(-dialnorm));
    const std::span<std::uint8_t> part = frame.subspan(2, partBytes - 2);
    part[0] = part[1] = 0;
    const std::uint16_t checksum = checksumFor(part.size())[remainder(part)];
    part[0] = static_cast<std::uint8_t>(checksum >> 8);
    part[1] = static_cast<std::uint8_t>(checksum & 0xff);
}

void setDialnormInFile(int fd, int dialnorm, const std::string& name)
{
    std::vector<std::uint8_t> frame;
    const auto failed = [&] { return WorkError(text("%s: cannot write", name)); };
    for (off_t at = 0;;) {
        std::array<std::uint8_t, 8> header{};
        const ssize_t got = ::pread(fd, header.data(), header.size(), at);
        if (got == 0)
            return;
        std::uint8_t bitstreamId = 0;
        std::uint16_t frameBytes = 0;
        if (got != static_cast<ssize_t>(header.size()) ||
            av_ac3_parse_header(header.data(), header.size(), &bitstreamId, &frameBytes) < 0 ||
            frameBytes < HeaderBytes)
            throw failed();
        frame.resize(frameBytes);
        if (::pread(fd, frame.data(), frame.size(), at) != static_cast<ssize_t>(frame.size()))
            throw failed();
        setDialnorm(frame, dialnorm);
        const std::size_t changed = firstPartBytes(frame.size());
        if (::pwrite(fd, frame.data(), changed, at) != static_cast<ssize_t>(changed))
            throw failed();
        at += frameBytes;
    }
}

int dialnormFor(double loudness)
{
    if (!std::isfinite(loudness))
        return DialnormNeutral;
    return std::clamp(static_cast<int>(std::lround(loudness)), DialnormNeutral, DialnormHighest);
}

} // namespace besweet
