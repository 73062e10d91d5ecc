// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzz target's own mutations of an input, besides libFuzzer's byte-wise ones: what happens to
// real recordings. A time stamp off (an MPEG PES header's, a Matroska block's or cluster's), two
// recordings joined with cat, a run of zeros where the signal was lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>

namespace besweet::fuzz
{

// libFuzzer's own mutation: data, size, largest size; returns the new size.
using ByteMutation = std::function<std::size_t(std::uint8_t*, std::size_t, std::size_t)>;

// Mutates the input of the fuzz_input target in place (its first two bytes, the options, stay);
// returns its new size, at most maxSize. Half of the time one of the mutations above, else the
// byte-wise one.
std::size_t mutateInput(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed,
                        const ByteMutation& byteWise);

// Moves the time stamp of the count-th PES header with one (MPEG audio or AC3 in a TS or PS) by
// ticks of 90 kHz, wrapping at 2^33; false when there is none.
bool moveNthPesStamp(std::uint8_t* data, std::size_t size, std::size_t count, std::int64_t ticks);

// Sets the time code of the count-th Matroska SimpleBlock or Block (relative to its cluster) to
// value; false when there is none.
bool setNthBlockStamp(std::uint8_t* data, std::size_t size, std::size_t count, std::int16_t value);

} // namespace besweet::fuzz
