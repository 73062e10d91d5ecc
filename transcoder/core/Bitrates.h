// SPDX-License-Identifier: GPL-3.0-or-later
// The bitrates the two output formats know, as their frame headers number them: what the command
// line allows and what a frame header's bitrate index means.
#pragma once

#include <array>

namespace besweet
{

// kbps of MPEG-1 Layer II by bitrate index 1 to 14 (0 is free format, 15 forbidden).
constexpr std::array<int, 14> LayerIIKbps{32,  48,  56,  64,  80,  96,  112,
                                          128, 160, 192, 224, 256, 320, 384};

// kbps of AC3 by frame size code / 2.
constexpr std::array<int, 19> Ac3Kbps{32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                      192, 224, 256, 320, 384, 448, 512, 576, 640};

} // namespace besweet
