// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder a target's name asks for, as the window and besweet both read it.
#include "common/TargetEncoder.h"

#include <gtest/gtest.h>
#include <utility>

namespace klangdorn
{
namespace
{

TEST(EncoderForTarget, OnlyTheNamesEndingDecidesInAnyCase)
{
    using enum TargetEncoder;
    const std::pair<const char*, std::optional<TargetEncoder>> cases[] = {
        {R"(D:\DVD\film.AC3)", Ac3}, {".ac3", Ac3},        {"/dvd/film.Mpa", LayerII},
        {"FILM.MP2", LayerII},       {"film.wav", {}},     {"film.mp3", {}},
        {"/dvd.ac3/film", {}},       {"film.ac3.wav", {}}, {"filmac3", {}},
    };
    for (const auto& [path, encoder] : cases)
        EXPECT_EQ(EncoderForTarget(path), encoder) << path;
}

} // namespace
} // namespace klangdorn
