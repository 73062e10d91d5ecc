// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the command-line parser, one argument per line.
#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    besweet::fuzz::runCommandLine({data, size});
    return 0;
}
