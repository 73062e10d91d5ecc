// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogue level of a written AC3 track, set afterwards: "-dialnorm auto" writes the
// loudness measured on the decoded track, known only once every frame is encoded. The level
// lies in each frame's bit stream information, inside the part the frame's first checksum
// covers, so that checksum is made anew; the second one covers none of it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace besweet
{

// The dialogue level of the frame, in dB (-31 to -1); throws WorkError for what is no AC3
// frame of one or two channels.
[[nodiscard]] int dialnormOf(std::span<const std::uint8_t> frame);
// Writes the level (-31 to -1 dB) into the frame and makes its first checksum anew.
void setDialnorm(std::span<std::uint8_t> frame, int dialnorm);
// The same for every frame of the raw AC3 file open at fd; name: for messages.
void setDialnormInFile(int fd, int dialnorm, const std::string& name);

// The loudness (LUFS) as a dialogue level: rounded, within -31 to -1.
[[nodiscard]] int dialnormFor(double loudness);

} // namespace besweet
