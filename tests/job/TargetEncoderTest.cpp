// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder a target's name asks for, as the window and besweet both read it.
#include "common/TargetEncoder.h"

#include <gtest/gtest.h>

namespace klangdorn
{
namespace
{

TEST(EncoderForTarget, OnlyTheNamesEndingDecidesInAnyCase)
{
    using enum TargetEncoder;
    const struct {
        const char* path;
        std::optional<TargetEncoder> encoder;
    } cases[] = {
        {"/dvd/film.ac3", Ac3},
        {R"(D:\DVD\film.AC3)", Ac3},
        {".ac3", Ac3},
        {"film.mpa", LayerII},
        {"film.Mpa", LayerII},
        {"film.mp2", LayerII},
        {"FILM.MP2", LayerII},
        {"film.wav", std::nullopt},
        {"film.mp3", std::nullopt},
        {"/dvd.ac3/film", std::nullopt},
        {"film.ac3.wav", std::nullopt},
        {"filmac3", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncoderForTarget(c.path), c.encoder) << c.path;
}

} // namespace
} // namespace klangdorn
