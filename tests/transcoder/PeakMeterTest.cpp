// SPDX-License-Identifier: GPL-3.0-or-later
// The peak meter reads every PCM format's packets at their own scale, copied straight or mixed.
#include "level/PeakMeter.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace besweet
{
namespace
{

struct FormatCase {
    const char* name;
    AVCodecID codec;
    void (*write)(std::vector<std::uint8_t>& bytes, double value);
};

void PrintTo(const FormatCase& c, std::ostream* os)
{
    *os << c.name;
}

template <typename T> void append(std::vector<std::uint8_t>& bytes, T value)
{
    std::uint8_t raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    bytes.insert(bytes.end(), raw, raw + sizeof(T));
}

void writeS24(std::vector<std::uint8_t>& bytes, double value)
{
    const auto sample = static_cast<std::int32_t>(value * 8388608.0);
    for (int shift : {0, 8, 16})
        bytes.push_back(static_cast<std::uint8_t>((sample >> shift) & 0xff));
}

// Stereo sample frames, exact in every format (multiples of 1/128, full scale negative).
const std::vector<double> Samples{-1.0, 0.5, -0.25, 0.75, 0.125, -0.375};

class ReadsFormat : public testing::TestWithParam<FormatCase>
{
};

TEST_P(ReadsFormat, AtItsScaleCopiedOrMixed)
{
    const FormatCase& c = GetParam();
    std::vector<std::uint8_t> bytes;
    for (const double value : Samples)
        c.write(bytes, value);

    PeakMeter copied({1, 0, 0, 1}, 2, 2);
    EXPECT_EQ(copied.addPacket(c.codec, bytes.data(), bytes.size()), 3);
    EXPECT_EQ(copied.samplePeak(), 1.0);

    // Mixed into mono as 0.5 left + 0.25 right: -0.375, 0.0625, -0.03125.
    PeakMeter mixed({0.5, 0.25}, 1, 2);
    mixed.addPacket(c.codec, bytes.data(), bytes.size());
    EXPECT_EQ(mixed.samplePeak(), 0.375);
}

INSTANTIATE_TEST_SUITE_P(
    PeakMeter, ReadsFormat,
    testing::Values(FormatCase{"u8", AV_CODEC_ID_PCM_U8,
                               [](std::vector<std::uint8_t>& b, double v) {
                                   b.push_back(
                                       static_cast<std::uint8_t>(std::lround(v * 128) + 128));
                               }},
                    FormatCase{"s16", AV_CODEC_ID_PCM_S16LE,
                               [](std::vector<std::uint8_t>& b, double v) {
                                   append(b, static_cast<std::int16_t>(v * 32768));
                               }},
                    FormatCase{"s24", AV_CODEC_ID_PCM_S24LE, writeS24},
                    FormatCase{"s32", AV_CODEC_ID_PCM_S32LE,
                               [](std::vector<std::uint8_t>& b, double v) {
                                   append(b, static_cast<std::int32_t>(v * 2147483648.0));
                               }},
                    FormatCase{"f32", AV_CODEC_ID_PCM_F32LE,
                               [](std::vector<std::uint8_t>& b, double v) {
                                   append(b, static_cast<float>(v));
                               }},
                    FormatCase{"f64", AV_CODEC_ID_PCM_F64LE,
                               [](std::vector<std::uint8_t>& b, double v) { append(b, v); }}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace besweet
