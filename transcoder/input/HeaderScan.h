// SPDX-License-Identifier: GPL-3.0-or-later
// A look over every frame header of an MPEG audio or AC3 input before it is decoded: a film's
// track may start in mono and go on in stereo, and the output takes the widest of its parts.
// Reading the headers costs a small part of decoding.
#pragma once

#include "cli/RunLog.h"
#include "input/Input.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace besweet
{

// The channels the frame header at data says its frame holds; nothing when it is no MPEG audio
// or AC3 header (E-AC3 included).
[[nodiscard]] std::optional<int> channelsInHeader(AVCodecID codec, const std::uint8_t* data,
                                                  std::size_t size);

// Sets input.mostChannels from the headers of a file of MPEG audio or AC3; a pipe cannot be
// looked through before it is read, and keeps the first part's channels, as the log says.
// Reading the file is the first of the run's `passes` (its progress says "Pass 1/n"); true
// when it was read.
bool scanChannels(Input& input, RunLog& log, int passes);

} // namespace besweet
