// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: bytes in as an input file, through the whole transcode.
#include "fuzz/FuzzEntries.h"
#include "fuzz/Mutations.h"

#include <cstdio>

// The progress lines on standard output would only slow the fuzzer down.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return std::freopen("/dev/null", "w", stdout) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    besweet::fuzz::runInput({data, size});
    return 0;
}

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// Besides libFuzzer's byte-wise mutations, time stamps off, joins and runs of zeros.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed)
{
    return besweet::fuzz::mutateInput(data, size, maxSize, seed, LLVMFuzzerMutate);
}
