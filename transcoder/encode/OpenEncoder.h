// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the encoder the options ask for, with the plan's layout, rate and the encoder's best
// sample format, or a failure that says what it cannot take.
#pragma once

#include "cli/Options.h"
#include "core/Av.h"
#include "encode/Plan.h"

namespace besweet
{

// What an encoder is opened with beside the options: the Layer II mode (the opening frames of a
// joint stereo track are plain stereo) and the AC3 dialogue level.
struct EncoderSettings {
    char mode;
    int dialnorm;
};

[[nodiscard]] CodecContextPtr openEncoder(const Options& options, const Plan& plan,
                                          const EncoderSettings& settings);
// libtwolame's name of a Layer II mode letter.
[[nodiscard]] const char* twolameMode(char mode);

} // namespace besweet
