// SPDX-License-Identifier: GPL-3.0-or-later
// Which audio stream of a container is read: of several, the one with the most channels, then
// the highest rate, then the one flagged as default, then the first: a film's main track, not
// its commentary.
#pragma once

#include "input/Input.h"

namespace besweet
{

// The chosen stream (null when none can be decoded), and which of the audio streams it is in
// input.audioNumber; notes every audio stream in input.audioStreams when there are several. Only
// streams this FFmpeg can decode count.
[[nodiscard]] AVStream* chooseAudioStream(Input& input);

// "stream 2 (language: deu, title: Main programme)": the stream, the number-th of the audio
// streams (other streams, such as a film's picture, are not counted).
[[nodiscard]] Text streamLabel(const AVStream& stream, int number);

} // namespace besweet
