// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder a target's name asks for, the one rule of the window and of besweet: a name
// ending in ".ac3" holds AC3, one ending in ".mpa" or ".mp2" MPEG-1 Layer II, in any letter case.
#pragma once

#include "common/TextCase.h"

#include <optional>
#include <string_view>

namespace klangdorn
{

enum class TargetEncoder { LayerII, Ac3 };

// Nothing for any other name: the caller decides (a stored choice, or PCM for ".wav").
inline std::optional<TargetEncoder> EncoderForTarget(std::string_view path)
{
    if (EndsWithIgnoringCase(path, ".ac3"))
        return TargetEncoder::Ac3;
    if (EndsWithIgnoringCase(path, ".mpa") || EndsWithIgnoringCase(path, ".mp2"))
        return TargetEncoder::LayerII;
    return std::nullopt;
}

} // namespace klangdorn
